# Build policy shared by every target: warnings, optional warnings-as-errors, sanitizers and the
# fuzzing instrumentation. Nothing else sets compile flags.
# Warnings are errors by default in a git checkout (a developer's build), not in a source tree
# without its history; the scripts that build for use (tools/run.sh, tools/package.sh) turn it off.
if(EXISTS ${PROJECT_SOURCE_DIR}/.git)
  set(QV_WARNINGS_AS_ERRORS_DEFAULT ON)
else()
  set(QV_WARNINGS_AS_ERRORS_DEFAULT OFF)
endif()
option(QV_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" ${QV_WARNINGS_AS_ERRORS_DEFAULT})
option(QV_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QV_FUZZ "Build the libFuzzer targets in fuzz/ (clang only, in a build folder of their own)" OFF)
option(QV_CLANG_TIDY "Run clang-tidy (checks in .clang-tidy) on every C++ file built; findings fail the build" OFF)

# The warnings, for C and C++ targets alike.
add_library(qv_warnings INTERFACE)
target_compile_options(qv_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
if(QV_WARNINGS_AS_ERRORS)
  target_compile_options(qv_warnings INTERFACE -Werror)
endif()

add_library(qv_options INTERFACE)
target_compile_features(qv_options INTERFACE cxx_std_20)
target_link_libraries(qv_options INTERFACE qv_warnings)
# GCC 12 warns falsely about std::string concatenation at -O3 (its bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(qv_options INTERFACE -Wno-restrict)
endif()
if(QV_SANITIZE)
  target_compile_options(qv_options INTERFACE -fsanitize=address,undefined
                                              -fno-sanitize-recover=undefined
                                              -fno-omit-frame-pointer)
  target_link_options(qv_options INTERFACE -fsanitize=address,undefined)
endif()
if(QV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QV_FUZZ needs clang: configure a separate build folder with CC=clang CXX=clang++")
  endif()
  # Every library of this build is instrumented for coverage and checked by AddressSanitizer and
  # UndefinedBehaviorSanitizer; only the fuzzers themselves link libFuzzer's main.
  target_compile_options(qv_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                              -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(qv_options INTERFACE -fsanitize=address,undefined)
endif()
if(QV_CLANG_TIDY)
  find_program(QV_CLANG_TIDY_EXE NAMES clang-tidy clang-tidy-14 REQUIRED)
  # GCC-only warning options in the compile commands are no finding.
  set(CMAKE_CXX_CLANG_TIDY ${QV_CLANG_TIDY_EXE} --extra-arg=-Wno-unknown-warning-option)
  # Sources generated in the build folder (Qt resources and the like) are not the project's: this
  # file turns every check off for them except one that cannot fire there, as clang-tidy refuses to
  # run with no check at all.
  file(WRITE ${CMAKE_BINARY_DIR}/.clang-tidy "Checks: '-*,misc-unused-alias-decls'\nHeaderFilterRegex: ''\n")
endif()
