# `cmake --install`: headers, libraries, a CMake package (OrvoBF::bigfile,
# OrvoBF::packed, OrvoBF::writer, OrvoBF::platform) and a pkg-config file,
# all in the component `development` (the tool is `tool`, the extractor
# `extractor`; cmake/Package.cmake picks the ones the Debian package holds).
include(CMakePackageConfigHelpers)

# Every public header lives under include/orvobf/ in its layer's folder, so
# the installed tree is the union of those folders.
install(DIRECTORY format/include/ platform/include/ packed/include/ bigfile/include/ writer/include/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(TARGETS orvobf_format orvobf_platform orvobf_packed orvobf_bigfile orvobf_writer
        EXPORT OrvoBFTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT OrvoBFTargets NAMESPACE OrvoBF::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvoBF COMPONENT development)
configure_package_config_file(cmake/OrvoBFConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OrvoBFConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvoBF)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OrvoBFConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OrvoBFConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/OrvoBFConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvoBF COMPONENT development)
# Relative to the .pc file, so an install moved or made with --prefix still works.
file(RELATIVE_PATH ORVOBF_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
configure_file(cmake/orvobf.pc.in ${CMAKE_CURRENT_BINARY_DIR}/orvobf.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvobf.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
