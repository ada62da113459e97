# Debian packages (`cpack -G DEB`, run by `./kel package`): one runtime
# package per library named after its soname, libkelcommon-dev with the
# headers, CMake package, pkg-config files and .so links, and one package
# per program. Dependencies on other distributions' packages are computed
# by dpkg-shlibdeps; those between the family's own packages follow the link
# graph below, at exactly this version.
set(CPACK_PACKAGE_NAME kelcommon)
set(CPACK_PACKAGE_VENDOR "The Kel developers")
set(CPACK_PACKAGE_CONTACT "The Kel developers <kel-dev@users.noreply.github.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# dpkg-shlibdeps looks at each package alone: the family's libraries, which
# live in the other packages, it finds in the build tree instead.
get_property(kel_libraries GLOBAL PROPERTY KEL_LIBRARIES)
foreach(library ${kel_libraries})
  get_target_property(folder ${library} BINARY_DIR)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${folder})
endforeach()
list(REMOVE_DUPLICATES CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/kel-toolkit/kelcommon")

# kel_package(COMPONENT NAME SECTION SUMMARY DESCRIPTION [DEPENDS components...])
function(kel_package component name section summary description)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  string(TOUPPER ${component} key)
  set(CPACK_DEBIAN_${key}_PACKAGE_NAME ${name} PARENT_SCOPE)
  set(CPACK_DEBIAN_${key}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  set(CPACK_COMPONENT_${key}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)
  set(CPACK_COMPONENT_${key}_DEPENDS ${ARG_DEPENDS} PARENT_SCOPE)
  # A library package tells the dynamic linker's cache to refresh.
  get_property(runtime GLOBAL PROPERTY KEL_RUNTIME_COMPONENTS)
  if(component IN_LIST runtime)
    set(CPACK_DEBIAN_${key}_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers PARENT_SCOPE)
  endif()
  # Every package carries the licence and the changelog, as Debian asks.
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name} COMPONENT ${component})
  set_property(GLOBAL APPEND PROPERTY KEL_PACKAGED_COMPONENTS ${component})
endfunction()

configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/copyright @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND sh -c "gzip -9n -c '${PROJECT_SOURCE_DIR}/packaging/changelog' > '${CMAKE_CURRENT_BINARY_DIR}/changelog.gz'"
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(kel_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)

set(kel_common_description "The Kel toolkit is a family of C++ libraries for developer tools on
Linux, where all text is wide text converted at file, console, socket and
database boundaries.")

kel_package(libkelcore1 libkelcore1 libs "Kel toolkit foundation library"
  "${kel_common_description}\n\nThis package holds KelCore: exceptions and error texts, the\ncross-process daily log, text conversions and encoding detection, file\nsearch, a per-user registry, system information, FTP and HTTP clients.")
kel_package(libkelcodec1 libkelcodec1 libs "Kel toolkit Base64, hexadecimal and digest library"
  "${kel_common_description}\n\nThis package holds KelCodec: Base64, hexadecimal text, MD5 and SHA-1."
  DEPENDS libkelcore1)
kel_package(libkelmarkup1 libkelmarkup1 libs "Kel toolkit HTML parser library"
  "${kel_common_description}\n\nThis package holds KelMarkup: an HTML parser building a document tree."
  DEPENDS libkelcore1)
kel_package(libkelupdate1 libkelupdate1 libs "Kel toolkit update check library"
  "${kel_common_description}\n\nThis package holds KelUpdate: an update check over the HTML parser."
  DEPENDS libkelmarkup1)
kel_package(libkeladdr1 libkeladdr1 libs "Kel toolkit IPv4 address library"
  "${kel_common_description}\n\nThis package holds KelAddr: IPv4 address helpers."
  DEPENDS libkelcore1)
kel_package(libkellisten1 libkellisten1 libs "Kel toolkit TCP server library"
  "${kel_common_description}\n\nThis package holds KelListen: a TCP server on an epoll thread pool."
  DEPENDS libkelcore1)
kel_package(libkelreach1 libkelreach1 libs "Kel toolkit TCP client library"
  "${kel_common_description}\n\nThis package holds KelReach: a TCP client with an event thread."
  DEPENDS libkelcore1 libkeladdr1)
kel_package(libkelstore1 libkelstore1 libs "Kel toolkit ODBC database library"
  "${kel_common_description}\n\nThis package holds KelStore: database access over ODBC."
  DEPENDS libkelcore1)
get_property(kel_runtime GLOBAL PROPERTY KEL_RUNTIME_COMPONENTS)
kel_package(dev libkelcommon-dev libdevel "Kel toolkit development files"
  "${kel_common_description}\n\nThis package holds the headers, the CMake package (find_package(KelCommon)),\nthe pkg-config files (kelcommon, kelcore, kelstore, ...) and the links\nan application builds against."
  DEPENDS ${kel_runtime})
kel_package(shell kelshell utils "Console tool of the Kel toolkit"
  "${kel_common_description}\n\nKelShell moves one file over FTP with retries (kelftp) and accepts the\noptions of kelgrep."
  DEPENDS libkelcore1)
if(TARGET KelWatch)
  kel_package(watch kelwatch devel "Viewer that follows growing log files"
    "${kel_common_description}\n\nKelWatch shows log files in tabs and appends what is written to them\nas it arrives, in whatever text encoding they use."
    DEPENDS libkelcore1)
endif()
if(TARGET Kelbench)
  kel_package(bench kelbench devel "Tray assistant for developers"
    "${kel_common_description}\n\nKelbench lives in the notification area: Base64 encoding and decoding,\nMD5 and SHA-1 digests, batch file renaming and clean-up of the recent\nlists of development environments."
    DEPENDS libkelcore1 libkelcodec1)
endif()

# The windows speak Korean: without a Korean font Hangul shows as boxes.
set(CPACK_DEBIAN_WATCH_PACKAGE_DEPENDS "fonts-nanum | fonts-noto-cjk")
set(CPACK_DEBIAN_BENCH_PACKAGE_DEPENDS "fonts-nanum | fonts-noto-cjk")

get_property(CPACK_COMPONENTS_ALL GLOBAL PROPERTY KEL_PACKAGED_COMPONENTS)
include(CPack)
