# `cpack -G DEB` in the build directory makes ctview_<version>_amd64.deb of
# whatever install() rules put in the default component: the programs, their
# modules and the man pages. Its Depends come from the binaries (dpkg-shlibdeps,
# from dpkg-dev).
set(CPACK_PACKAGE_NAME ctview)
set(CPACK_PACKAGE_VENDOR "ctview developers")
if(NOT CPACK_PACKAGE_CONTACT)
  set(CPACK_PACKAGE_CONTACT "ctview developers <ctview-devel@example.org>")  # -DCPACK_PACKAGE_CONTACT=...
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CT slice series from directory to three orthogonal views")
set(CPACK_PACKAGE_DESCRIPTION
    "Three console programs run one after another: dirsort lists a directory\n"
    "of slice files into sorted path lists, slicejpeg turns the slices into\n"
    "8-bit JPEG slices and triview shows the series in three orthogonal\n"
    "views (x-y, x-z, y-z).")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The imread module lives in lib/ctview/, outside the linker's path; it needs
# no shlibs entry of its own.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

# Debian's policy files of a native package: the copyright and the changelog,
# compressed without a time stamp so that builds give the same bytes.
include(GNUInstallDirs)
set(ctview_changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${ctview_changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${ctview_changelog_gz}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(ctview_changelog ALL DEPENDS ${ctview_changelog_gz})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${ctview_changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
