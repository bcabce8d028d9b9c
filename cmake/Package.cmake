# `cpack --config BUILD/CPackConfig.cmake`: one Debian package, orvobf, of
# the tool (with its manual page and bash completion) and of everything a
# program needs to build against the library (headers, static libraries,
# CMake package, pkg-config file), below /usr. The extractor stays out: it
# is the game's own program, not a command for a system's PATH.
if(NOT TARGET bigfile-man)
  message(STATUS "The Debian package will lack the manual page: help2man was not found")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvobf)
set(CPACK_PACKAGE_VENDOR "Orvo BigFile developers")
set(CPACK_PACKAGE_CONTACT "Orvo BigFile developers <orvobf@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orvo big file archives: the bigfile tool and the library")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Orvo big file archives: the bigfile tool and the library
 The bigfile command creates, lists, tests, compares, extracts, unpacks and
 mounts the game archives (big files) of the Orvo system, with JSON output for
 scripts, a manual page and bash completion. The static libraries, headers,
 CMake package (find_package(OrvoBF)) and pkg-config file (orvobf) let
 programs read and write the archives themselves.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The tool's run-time libraries, as dpkg-shlibdeps (dpkg-dev) finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, cmake, pkg-config")
# `bigfile mount` links libfuse3 (found by dpkg-shlibdeps); mounting and
# unmounting as a user other than root go through fusermount3.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fuse3")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL tool development)
include(CPack)
