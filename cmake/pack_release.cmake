# Builds the tools of the `release` preset (Linux, static) and of the `windows` preset, and
# packs each set with the README into a reproducible archive, with SHA256SUMS beside them.
# Run by the `package` preset's build (cmake/OrvaPackage.cmake):
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DLISTING_DIR=... -DLINUX_ARCHIVE=name.tar.gz
#         -DWINDOWS_ARCHIVE=name.zip -P pack_release.cmake
#
# The same commit gives the same bytes in any folder, for any user: the builds and the
# archives take their time from SOURCE_DATE_EPOCH, or from the latest commit when it is not
# set; the entries are listed in a fixed order with fixed modes (0755 for the tools, 0644
# for the README) and are owned by 0:0, with no user or group names.

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${SOURCE_DIR}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${command}")
  endif()
endfunction()

# The one time of the release: every build fact's build time and every archive entry's.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY "${SOURCE_DIR}"
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is not set and ${SOURCE_DIR} is not a Git checkout: set it")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH=\"$ENV{SOURCE_DATE_EPOCH}\" is not a number of seconds")
endif()
string(TIMESTAMP release_time "%Y-%m-%dT%H:%M:%SZ" UTC)
message(STATUS "Release time: ${release_time} (SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH})")

# The shipped tools are the presets' own builds, which the program tests run against.
run(${CMAKE_COMMAND} --preset release)
run(${CMAKE_COMMAND} --build --preset release --parallel 2)
run(${CMAKE_COMMAND} --preset windows)
run(${CMAKE_COMMAND} --build --preset windows --target tools)

# The tools a build defines (orva_add_tool), sorted.
function(tools_of build out)
  file(STRINGS "${build}/CMakeCache.txt" line REGEX "^ORVA_TOOLS:INTERNAL=")
  # file(STRINGS) escapes the list's separators within the line.
  string(REGEX REPLACE "^ORVA_TOOLS:INTERNAL=" "" tools "${line}")
  string(REPLACE "\\;" ";" tools "${tools}")
  if(tools STREQUAL "")
    message(FATAL_ERROR "${build} defines no tools")
  endif()
  list(SORT tools)
  set(${out} "${tools}" PARENT_SCOPE)
endfunction()

# The archives are written by bsdtar, the command-line front end of libarchive (the library
# behind cmake -E tar), from an mtree listing that states each entry's whole metadata: its
# name, mode, owner 0:0 without names, and time. cmake -E tar takes these from the files on
# disk instead: it writes the builder's user and group names, and its zip entries carry the
# staged files' access and change times, which no two builds share.
find_program(BSDTAR bsdtar)
if(NOT BSDTAR)
  message(FATAL_ERROR "bsdtar not found (Debian: apt-get install libarchive-tools)")
endif()

# A path as an mtree listing writes it: backslash, space and the other special characters
# as octal escapes.
function(mtree_escape out path)
  string(REPLACE "\\" "\\134" path "${path}")
  foreach(pair " ;040" "\t;011" "#;043" "=;075")
    list(GET pair 0 char)
    list(GET pair 1 code)
    string(REPLACE "${char}" "\\${code}" path "${path}")
  endforeach()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# Packs the tools of `build` and the README under one top folder named after the archive,
# in this order: the tools by name, then the README.
function(pack archive build suffix flags format)
  string(REGEX REPLACE "\\.(tar\\.gz|zip)$" "" top "${archive}")
  tools_of("${build}" tools)
  set(listing "#mtree\n")
  foreach(tool IN LISTS tools)
    mtree_escape(contents "${build}/bin/${tool}${suffix}")
    string(APPEND listing "${top}/bin/${tool}${suffix} type=file mode=0755 ${owner} ${time} contents=${contents}\n")
  endforeach()
  mtree_escape(contents "${SOURCE_DIR}/README.md")
  string(APPEND listing "${top}/README.md type=file mode=0644 ${owner} ${time} contents=${contents}\n")
  file(WRITE "${LISTING_DIR}/${top}.mtree" "${listing}")

  # A zip entry's date is local time: take it in UTC, whatever the builder's zone.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
      ${BSDTAR} ${flags} -f "${OUTPUT_DIR}/${archive}" --format ${format} "@${LISTING_DIR}/${top}.mtree"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not pack ${OUTPUT_DIR}/${archive}")
  endif()
endfunction()

set(owner "uid=0 gid=0")
set(time "time=$ENV{SOURCE_DATE_EPOCH}")
file(GLOB old "${OUTPUT_DIR}/orva-sdk-tools-*" "${OUTPUT_DIR}/SHA256SUMS")
if(old)
  file(REMOVE ${old})
endif()
file(MAKE_DIRECTORY "${OUTPUT_DIR}" "${LISTING_DIR}")
# The gzip header's time stays 0.
pack("${LINUX_ARCHIVE}" "${SOURCE_DIR}/build/release" "" "-cz;--options;gzip:!timestamp" gnutar)
pack("${WINDOWS_ARCHIVE}" "${SOURCE_DIR}/build/windows" ".exe" "-c" zip)

# The sums in the form `sha256sum -c` reads: hash, two spaces, name.
set(sums "")
foreach(archive IN ITEMS "${LINUX_ARCHIVE}" "${WINDOWS_ARCHIVE}")
  file(SHA256 "${OUTPUT_DIR}/${archive}" hash)
  string(APPEND sums "${hash}  ${archive}\n")
endforeach()
file(WRITE "${OUTPUT_DIR}/SHA256SUMS" "${sums}")
message(STATUS "Release archives in ${OUTPUT_DIR}:\n${sums}")
