# Build policy shared by every target: warnings, optional warnings-as-errors and sanitizers.
option(QV_WARNINGS_AS_ERRORS "Treat compiler warnings as errors (CI and developers)" OFF)
option(QV_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(qv_options INTERFACE)
target_compile_features(qv_options INTERFACE cxx_std_20)
target_compile_options(qv_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                            -Wno-sign-conversion)
# GCC 12 warns falsely about std::string concatenation at -O3 (its bug 105329).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(qv_options INTERFACE -Wno-restrict)
endif()
if(QV_WARNINGS_AS_ERRORS)
  target_compile_options(qv_options INTERFACE -Werror)
endif()
if(QV_SANITIZE)
  target_compile_options(qv_options INTERFACE -fsanitize=address,undefined
                                              -fno-sanitize-recover=undefined
                                              -fno-omit-frame-pointer)
  target_link_options(qv_options INTERFACE -fsanitize=address,undefined)
endif()
