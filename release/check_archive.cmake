# Checks a release archive as a user gets it: its listing, then every tool run from the
# archive unpacked into a temporary folder (under EMULATOR, if given: Wine for the Windows
# tools). orva-sdkversion -v must print the revision of the checkout the release was built
# from.
#   cmake -DARCHIVE=... -DSOURCE_DIR=... [-DEMULATOR=wine] -P check_archive.cmake

set(tools cat mkdir orva-sdkversion realpath)
string(REGEX REPLACE "\\.(tar\\.gz|zip)$" "" top "${ARCHIVE}")
get_filename_component(top "${top}" NAME)
if(ARCHIVE MATCHES "\\.zip$")
  set(suffix ".exe")
else()
  set(suffix "")
endif()

set(failures "")
macro(fail text)
  list(APPEND failures "${text}")
endmacro()

# Runs `command...` in `dir` and sets status, out and err in the caller.
macro(run_in dir)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${dir}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
endmacro()

# The listing: the tools by name, then the README; 0755 and 0644; owned by 0:0 with no
# user or group names, which tar would show instead (the zip listing shows no owner); every
# entry with the same time.
set(expected "")
foreach(tool IN LISTS tools)
  list(APPEND expected "-rwxr-xr-x ${top}/bin/${tool}${suffix}")
endforeach()
list(APPEND expected "-rw-r--r-- ${top}/README.md")
if(suffix STREQUAL "")
  run_in("${CMAKE_CURRENT_LIST_DIR}" env TZ=UTC tar --full-time -tvzf "${ARCHIVE}")
  set(line_form "^([-drwx]+) ([0-9]+/[0-9]+) +[0-9]+ ([-0-9]+ [:0-9]+) (.+)$")
else()
  run_in("${CMAKE_CURRENT_LIST_DIR}" zipinfo "${ARCHIVE}")
  set(line_form "^([-drwx]+) .* [0-9]+-[A-Za-z]+-[0-9]+ ([:0-9]+) (.+)$")
endif()
string(REGEX REPLACE "\r?\n$" "" out "${out}")
string(REPLACE "\n" ";" lines "${out}")
set(listed "")
set(times "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "${line_form}")
    continue()  # zipinfo's head and tail lines
  endif()
  if(suffix STREQUAL "")
    list(APPEND listed "${CMAKE_MATCH_1} ${CMAKE_MATCH_4}")
    list(APPEND times "${CMAKE_MATCH_3}")
    if(NOT CMAKE_MATCH_2 STREQUAL "0/0")
      fail("${CMAKE_MATCH_4} is owned by ${CMAKE_MATCH_2}, not 0/0")
    endif()
  else()
    list(APPEND listed "${CMAKE_MATCH_1} ${CMAKE_MATCH_3}")
    list(APPEND times "${CMAKE_MATCH_2}")
  endif()
endforeach()
if(NOT listed STREQUAL expected)
  fail("the archive lists\n  ${listed}\ninstead of\n  ${expected}")
endif()
list(REMOVE_DUPLICATES times)
list(LENGTH times time_count)
if(NOT time_count EQUAL 1)
  fail("the entries have different times: ${times}")
endif()

# The revision the build facts give this checkout, computed the way the build does.
string(RANDOM LENGTH 12 ALPHABET 0123456789abcdef tag)
set(temp "/tmp")
if(NOT "$ENV{TMPDIR}" STREQUAL "")
  set(temp "$ENV{TMPDIR}")
endif()
set(work "${temp}/orva-archive-check-${tag}")
file(MAKE_DIRECTORY "${work}")
run_in("${work}" ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DOUTPUT=${work}/facts.cpp
  -DREVISION_HEADER=${work}/revision.h -P ${CMAKE_CURRENT_LIST_DIR}/../cmake/build_facts.cmake)
file(STRINGS "${work}/revision.h" revision REGEX "ORVA_BUILD_REVISION")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" revision "${revision}")

run_in("${work}" ${CMAKE_COMMAND} -E tar xf "${ARCHIVE}")
set(unpacked "${work}/${top}")
if(NOT status EQUAL 0 OR NOT EXISTS "${unpacked}/README.md")
  fail("${ARCHIVE} does not unpack: ${err}")
else()
  run_in("${unpacked}" ${EMULATOR} bin/orva-sdkversion${suffix} -v)
  if(NOT status EQUAL 0 OR NOT out MATCHES "^${revision} \r?\n$")
    fail("orva-sdkversion -v: status ${status}, printed \"${out}\" (${err}), not revision ${revision}")
  endif()

  run_in("${unpacked}" ${EMULATOR} bin/mkdir${suffix} -p made/deeper)
  if(NOT status EQUAL 0 OR NOT IS_DIRECTORY "${unpacked}/made/deeper")
    fail("mkdir -p made/deeper: status ${status}, ${err}")
  endif()

  file(READ "${unpacked}/README.md" readme)
  run_in("${unpacked}" ${EMULATOR} bin/cat${suffix} README.md)
  if(NOT status EQUAL 0 OR NOT out STREQUAL readme)
    fail("cat README.md: status ${status}, ${err}, or output other than the README")
  endif()

  run_in("${unpacked}" ${EMULATOR} bin/realpath${suffix} README.md)
  if(NOT status EQUAL 0 OR NOT out MATCHES "README\\.md\r?\n$")
    fail("realpath README.md: status ${status}, printed \"${out}\" (${err})")
  endif()
endif()

file(REMOVE_RECURSE "${work}")
if(failures)
  string(REPLACE ";" "\n" failures "${failures}")
  message(FATAL_ERROR "${ARCHIVE}:\n${failures}")
endif()
message(STATUS "${ARCHIVE}: listing, and every tool run from the unpacked archive: fine")
