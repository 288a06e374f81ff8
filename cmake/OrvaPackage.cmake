# The release archives' driver: what the `package` preset configures instead of the tools.
# Its build runs cmake/pack_release.cmake, which builds the `release` and `windows` presets'
# tools and packs them into ORVA_PACKAGE_DIR; its tests unpack the archives and run what
# they hold (release/check_archive.cmake).

set(ORVA_PACKAGE_DIR "${PROJECT_SOURCE_DIR}/build/package" CACHE PATH
  "Where the release archives and their SHA256SUMS are written")

set(linux_archive "orva-sdk-tools-${PROJECT_VERSION}-linux-x86_64.tar.gz")
set(windows_archive "orva-sdk-tools-${PROJECT_VERSION}-windows-x86_64.zip")

# Always run: the sub-builds decide what is out of date, and the archives are cheap to pack.
add_custom_target(release_archives ALL
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DOUTPUT_DIR=${ORVA_PACKAGE_DIR}
    -DLISTING_DIR=${CMAKE_BINARY_DIR}/listings
    -DLINUX_ARCHIVE=${linux_archive}
    -DWINDOWS_ARCHIVE=${windows_archive}
    -P ${PROJECT_SOURCE_DIR}/cmake/pack_release.cmake
  COMMENT "Building the release and Windows tools, and packing them into ${ORVA_PACKAGE_DIR}"
  USES_TERMINAL
  VERBATIM)

enable_testing()

find_program(ORVA_WINE NAMES wine wine64 REQUIRED)
set(wine_prefix "${PROJECT_SOURCE_DIR}/build/windows/wineprefix")
set(wine_environment "WINEDEBUG=-all;WINEPREFIX=${wine_prefix}")

# What a user does first: check the downloads against the sums.
add_test(NAME release_checksums COMMAND sha256sum -c SHA256SUMS WORKING_DIRECTORY ${ORVA_PACKAGE_DIR})

# Unpack each archive into a temporary folder and run every tool from there.
add_test(NAME release_archive_linux
  COMMAND ${CMAKE_COMMAND}
    -DARCHIVE=${ORVA_PACKAGE_DIR}/${linux_archive}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -P ${PROJECT_SOURCE_DIR}/release/check_archive.cmake)
add_test(NAME release_archive_windows
  COMMAND ${CMAKE_COMMAND}
    -DARCHIVE=${ORVA_PACKAGE_DIR}/${windows_archive}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DEMULATOR=${ORVA_WINE}
    -P ${PROJECT_SOURCE_DIR}/release/check_archive.cmake)

# The Windows tools run in the Windows build's Wine prefix, under one warm server.
add_test(NAME wine_server_start COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-server start)
add_test(NAME wine_server_stop COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-server stop)
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${wine_environment}")
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${wine_environment}")
set_tests_properties(release_archive_windows PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT "${wine_environment}" TIMEOUT 300)
