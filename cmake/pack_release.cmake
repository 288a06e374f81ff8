# Builds the tools of the `release` preset (Linux, static) and of the `windows` preset, and
# packs each set with the README into a reproducible archive, with SHA256SUMS beside them.
# Run by the `package` preset's build (cmake/OrvaPackage.cmake):
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DSTAGE_DIR=... -DLINUX_ARCHIVE=name.tar.gz
#         -DWINDOWS_ARCHIVE=name.zip -P pack_release.cmake
#
# The same commit gives the same bytes in any folder, for any user: the builds and the
# archives take their time from SOURCE_DATE_EPOCH, or from the latest commit when it is not
# set; the entries are listed in a fixed order with fixed modes (0755 for the tools, 0644
# for the README) and are owned by 0:0.

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
string(TIMESTAMP mtime "%Y-%m-%d %H:%M:%S UTC" UTC)
message(STATUS "Release time: ${mtime} (SOURCE_DATE_EPOCH=$ENV{SOURCE_DATE_EPOCH})")

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

# The archiver records the owner of the staged files and looks up its name. Staged by root,
# or by anyone inside a user namespace that maps them to root, they are 0:0 for everyone.
set(as_owner_0 "")
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT uid STREQUAL "0")
  find_program(UNSHARE unshare)
  if(NOT UNSHARE)
    message(FATAL_ERROR "the archives' entries must be owned by 0:0: pack as root, or install unshare")
  endif()
  set(as_owner_0 ${UNSHARE} --map-root-user)
endif()

# Stages the tools of `build` and the README under one top folder named after the archive,
# with fixed modes, and packs them in that order: the tools by name, then the README.
function(pack archive build suffix flags format)
  string(REGEX REPLACE "\\.(tar\\.gz|zip)$" "" top "${archive}")
  file(REMOVE_RECURSE "${STAGE_DIR}/${top}")
  file(MAKE_DIRECTORY "${STAGE_DIR}/${top}/bin")
  tools_of("${build}" tools)
  set(entries "")
  foreach(tool IN LISTS tools)
    set(entry "${top}/bin/${tool}${suffix}")
    file(COPY_FILE "${build}/bin/${tool}${suffix}" "${STAGE_DIR}/${entry}")
    file(CHMOD "${STAGE_DIR}/${entry}" PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND entries "${entry}")
  endforeach()
  file(COPY_FILE "${SOURCE_DIR}/README.md" "${STAGE_DIR}/${top}/README.md")
  file(CHMOD "${STAGE_DIR}/${top}/README.md" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  list(APPEND entries "${top}/README.md")

  # The zip's extended time field also records the access time, which --mtime leaves alone.
  execute_process(COMMAND touch -d "@$ENV{SOURCE_DATE_EPOCH}" -- ${entries}
    WORKING_DIRECTORY "${STAGE_DIR}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not set the times of the staged files")
  endif()
  # A zip entry's date is local time: take it in UTC, whatever the builder's zone.
  execute_process(
    COMMAND ${as_owner_0} ${CMAKE_COMMAND} -E env TZ=UTC
      ${CMAKE_COMMAND} -E tar ${flags} "${OUTPUT_DIR}/${archive}" --format=${format} "--mtime=${mtime}"
      -- ${entries}
    WORKING_DIRECTORY "${STAGE_DIR}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not pack ${OUTPUT_DIR}/${archive}")
  endif()
endfunction()

file(GLOB old "${OUTPUT_DIR}/orva-sdk-tools-*" "${OUTPUT_DIR}/SHA256SUMS")
if(old)
  file(REMOVE ${old})
endif()
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
# gnutar with SOURCE_DATE_EPOCH set: libarchive leaves the gzip header's time 0.
pack("${LINUX_ARCHIVE}" "${SOURCE_DIR}/build/release" "" czf gnutar)
pack("${WINDOWS_ARCHIVE}" "${SOURCE_DIR}/build/windows" ".exe" cf zip)

# The sums in the form `sha256sum -c` reads: hash, two spaces, name.
set(sums "")
foreach(archive IN ITEMS "${LINUX_ARCHIVE}" "${WINDOWS_ARCHIVE}")
  file(SHA256 "${OUTPUT_DIR}/${archive}" hash)
  string(APPEND sums "${hash}  ${archive}\n")
endforeach()
file(WRITE "${OUTPUT_DIR}/SHA256SUMS" "${sums}")
message(STATUS "Release archives in ${OUTPUT_DIR}:\n${sums}")
