# Install the libraries with their public headers, a CMake package config and
# pkg-config files, so that applications can build against an installation;
# and the programs' manual pages, desktop icons, the licence and changelog.
include(CMakePackageConfigHelpers)
get_property(kel_libraries GLOBAL PROPERTY KEL_LIBRARIES)

# Each library goes into a runtime package named after its soname, as Debian
# names them (libKelCore.so.1: libkelcore1); its .so link goes with the
# headers.
foreach(library ${kel_libraries})
  string(TOLOWER "lib${library}${PROJECT_VERSION_MAJOR}" runtime)
  install(TARGETS ${library} EXPORT KelCommonTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${runtime} NAMELINK_COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KelCommon)
  set_property(GLOBAL APPEND PROPERTY KEL_RUNTIME_COMPONENTS ${runtime})
endforeach()
install(EXPORT KelCommonTargets NAMESPACE KelCommon::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KelCommon COMPONENT dev)

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake.in
  "@PACKAGE_INIT@\ninclude(CMakeFindDependencyMacro)\nfind_dependency(Threads)\ninclude(\"\${CMAKE_CURRENT_LIST_DIR}/KelCommonTargets.cmake\")\n")
configure_package_config_file(${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KelCommon)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KelCommon COMPONENT dev)

# pkg-config: one file per library, with Requires along the link graph, and
# kelcommon for all of them. The prefix is found from the file's own place,
# so an installation may be moved or unpacked anywhere.
file(RELATIVE_PATH kel_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
file(RELATIVE_PATH kel_prefix_to_include ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
file(RELATIVE_PATH kel_prefix_to_lib ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})

# kel_pkg_config(NAME DESCRIPTION text [REQUIRES modules...] [REQUIRES_PRIVATE modules...] [LIBS libraries...])
function(kel_pkg_config name)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "REQUIRES;REQUIRES_PRIVATE;LIBS" ${ARGN})
  set(text "prefix=\${pcfiledir}/${kel_pc_to_prefix}
libdir=\${prefix}/${kel_prefix_to_lib}
includedir=\${prefix}/${kel_prefix_to_include}/KelCommon

Name: ${name}
Description: ${ARG_DESCRIPTION}
Version: ${PROJECT_VERSION}
")
  if(ARG_REQUIRES)
    list(JOIN ARG_REQUIRES " " requires)
    string(APPEND text "Requires: ${requires}\n")
  endif()
  if(ARG_REQUIRES_PRIVATE)
    list(JOIN ARG_REQUIRES_PRIVATE " " requires)
    string(APPEND text "Requires.private: ${requires}\n")
  endif()
  list(TRANSFORM ARG_LIBS PREPEND "-l")
  list(JOIN ARG_LIBS " " libs)
  string(APPEND text "Cflags: -I\${includedir}\nLibs: -L\${libdir} ${libs}\n")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc "${text}")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${name}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
endfunction()

kel_pkg_config(kelcore DESCRIPTION "Foundation library of the Kel toolkit" LIBS KelCore)
kel_pkg_config(kelcodec DESCRIPTION "Base64, hexadecimal text and digests of the Kel toolkit"
  REQUIRES kelcore LIBS KelCodec)
kel_pkg_config(kelmarkup DESCRIPTION "HTML parser and document tree of the Kel toolkit"
  REQUIRES kelcore LIBS KelMarkup)
kel_pkg_config(kelupdate DESCRIPTION "Update check of the Kel toolkit"
  REQUIRES_PRIVATE kelmarkup LIBS KelUpdate)
kel_pkg_config(keladdr DESCRIPTION "IPv4 address helpers of the Kel toolkit"
  REQUIRES kelcore LIBS KelAddr)
kel_pkg_config(kellisten DESCRIPTION "TCP server on an epoll thread pool of the Kel toolkit"
  REQUIRES kelcore LIBS KelListen)
kel_pkg_config(kelreach DESCRIPTION "TCP client with an event thread of the Kel toolkit"
  REQUIRES kelcore keladdr LIBS KelReach)
kel_pkg_config(kelstore DESCRIPTION "Database access over ODBC of the Kel toolkit"
  REQUIRES kelcore LIBS KelStore)
kel_pkg_config(kelcommon DESCRIPTION "All libraries of the Kel toolkit"
  REQUIRES kelcore kelcodec kelmarkup kelupdate keladdr kellisten kelreach kelstore)

# Programs: a manual page each (compressed, as Debian ships them) and, for the
# two windowed ones, the icon of their desktop entry in the sizes desktops
# look for. The desktop entries themselves install from the programs' folders.
set(kel_packaging ${PROJECT_SOURCE_DIR}/packaging)
function(kel_install_program_data program component)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND sh -c "gzip -9n -c '${kel_packaging}/man/${program}.1' > '${page}'"
    DEPENDS ${kel_packaging}/man/${program}.1 VERBATIM)
  add_custom_target(${program}_manual ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  if(EXISTS ${kel_packaging}/icons/${program}.svg)
    install(FILES ${kel_packaging}/icons/${program}.svg
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT ${component})
    foreach(size 16 32 48 64 128 256)
      install(FILES ${kel_packaging}/icons/${size}/${program}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT ${component})
    endforeach()
  endif()
endfunction()

kel_install_program_data(KelShell shell)
if(TARGET KelWatch)
  kel_install_program_data(KelWatch watch)
endif()
if(TARGET Kelbench)
  kel_install_program_data(Kelbench bench)
endif()

# Every installed program and library finds its libraries the same way,
# whatever its own folder set.
foreach(target ${kel_libraries} KelShell KelWatch Kelbench)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "${CMAKE_INSTALL_RPATH}")
  endif()
endforeach()
