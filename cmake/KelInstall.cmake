# Install the libraries with their public headers, a CMake package config and
# a pkg-config file, so that applications can build against an installation.
include(CMakePackageConfigHelpers)
get_property(kel_libraries GLOBAL PROPERTY KEL_LIBRARIES)

install(TARGETS ${kel_libraries} EXPORT KelCommonTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KelCommon)
install(EXPORT KelCommonTargets NAMESPACE KelCommon::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KelCommon)

file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake.in
  "@PACKAGE_INIT@\ninclude(CMakeFindDependencyMacro)\nfind_dependency(Threads)\ninclude(\"\${CMAKE_CURRENT_LIST_DIR}/KelCommonTargets.cmake\")\n")
configure_package_config_file(${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KelCommon)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/KelCommonConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/KelCommon)

list(TRANSFORM kel_libraries PREPEND "-l" OUTPUT_VARIABLE kel_link_flags)
string(JOIN " " kel_link_flags ${kel_link_flags})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/kelcommon.pc
"prefix=${CMAKE_INSTALL_PREFIX}
libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}
includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}/KelCommon

Name: KelCommon
Description: Foundation, markup, network and database libraries of the Kel toolkit
Version: ${PROJECT_VERSION}
Cflags: -I\${includedir}
Libs: -L\${libdir} ${kel_link_flags}
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kelcommon.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
