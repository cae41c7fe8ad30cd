# Run by `cmake --install` after the programs are in place: the links in <prefix>/bin, the settings
# file in <etc>/quorvane-insert, and the link to it beside the programs (see CMakeLists.txt).
# Expects qv_programs and qv_settings from the install code before it.
set(prefix "${CMAKE_INSTALL_PREFIX}")
if(prefix STREQUAL "/usr")
  set(etc "/etc/quorvane-insert")
else()
  set(etc "${prefix}/etc/quorvane-insert")
endif()
file(INSTALL "${qv_settings}" DESTINATION "${etc}")

function(qv_link target link)  # a symbolic link, under DESTDIR, recorded in the manifest
  get_filename_component(folder "$ENV{DESTDIR}${link}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  message(STATUS "Linking: $ENV{DESTDIR}${link} -> ${target}")
  file(CREATE_LINK "${target}" "$ENV{DESTDIR}${link}" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "$ENV{DESTDIR}${link}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

foreach(program ${qv_programs})
  qv_link("../lib/quorvane-insert/${program}" "${prefix}/bin/${program}")
endforeach()
if(prefix STREQUAL "/usr")
  set(settings_link "${etc}/quorvane.ini")  # across top-level folders: absolute
else()
  file(RELATIVE_PATH settings_link "${prefix}/lib/quorvane-insert" "${etc}/quorvane.ini")
endif()
qv_link("${settings_link}" "${prefix}/lib/quorvane-insert/quorvane.ini")
