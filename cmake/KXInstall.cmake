include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS kxcore EXPORT kxcoreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# (The include directory comes from the target's INSTALL_INTERFACE; an
# INCLUDES DESTINATION here would list it a second time.)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kxcore FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/kxcore_export.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kxcore)

install(EXPORT kxcoreTargets NAMESPACE kxcore::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kxcore)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kxcoreConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kxcoreConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kxcore)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kxcoreConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kxcoreConfig.cmake ${PROJECT_BINARY_DIR}/kxcoreConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kxcore)

# The .pc file finds its prefix from its own location, so an installed tree
# can be moved.
file(RELATIVE_PATH KXCORE_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" KXCORE_PC_TO_PREFIX "${KXCORE_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kxcore.pc.in ${PROJECT_BINARY_DIR}/kxcore.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kxcore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
