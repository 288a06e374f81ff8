# Computes the five build facts of orva-sdkversion and writes them as a tiny C++ source.
# Runs at every build (cmake -P), so a new commit shows up without re-running configure;
# the output is rewritten only when its text changes, so nothing else is rebuilt.
#
# Inputs (-D):
#   SOURCE_DIR   the checkout to ask Git about
#   OUTPUT       the source file to write
#   REVISION_HEADER  optional: a header defining ORVA_BUILD_REVISION as the revision's text,
#                the same way rewritten only when it changes (the Windows version resources
#                include it)
#   REVISION, BUILD_TIME, CHANGED, OS, MACHINE   optional overrides, each in its fact's form
# The build time comes from the environment's SOURCE_DATE_EPOCH when that is set.

function(fact_from_command out)
  execute_process(COMMAND ${ARGN}
    WORKING_DIRECTORY "${SOURCE_DIR}"
    OUTPUT_VARIABLE text OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(text "")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# An override must already have its fact's form: a wrong one stops the build.
function(check_override name value pattern)
  if(NOT value MATCHES "${pattern}")
    message(FATAL_ERROR "build fact ${name}=\"${value}\" does not have the form ${pattern}")
  endif()
endfunction()

set(HEX8 "^[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]$")
set(D2 "[0-9][0-9]")
set(DATE "[0-9][0-9][0-9][0-9]-${D2}-${D2}T${D2}:${D2}:${D2}")
set(UTC_TIME "^${DATE}Z$")
set(ZONED_TIME "^${DATE}[+-]${D2}:${D2}$")
set(WORD "^[^ \t\r\n\"\\\\]+$")

# Revision: the first 8 hex digits of HEAD; "git rev-parse --short" may give more.
if(REVISION)
  check_override(REVISION "${REVISION}" "${HEX8}")
else()
  fact_from_command(full git rev-parse --short=8 HEAD)
  string(TOLOWER "${full}" full)
  string(SUBSTRING "${full}0000000" 0 8 REVISION)
  if(NOT REVISION MATCHES "${HEX8}")
    set(REVISION "00000000")
  endif()
endif()

# Build time: string(TIMESTAMP) honours SOURCE_DATE_EPOCH by itself.
if(BUILD_TIME)
  check_override(BUILD_TIME "${BUILD_TIME}" "${UTC_TIME}")
else()
  string(TIMESTAMP BUILD_TIME "%Y-%m-%dT%H:%M:%SZ" UTC)
endif()

# Last change: the committer time of HEAD with its own offset.
if(CHANGED)
  check_override(CHANGED "${CHANGED}" "${ZONED_TIME}")
else()
  fact_from_command(CHANGED git log -1 --format=%cI HEAD)
  if(NOT CHANGED MATCHES "${ZONED_TIME}")
    set(CHANGED "1970-01-01T00:00:00+00:00")
  endif()
endif()

# Host facts: what uname says, made into one word; the CMake host names when uname is absent.
function(host_fact out flag fallback)
  fact_from_command(text uname ${flag})
  string(REGEX REPLACE "[ \t\r\n\"\\\\]+" "_" text "${text}")
  if(text STREQUAL "")
    set(text "${fallback}")
  endif()
  if(text STREQUAL "")
    set(text "unknown")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(OS)
  check_override(OS "${OS}" "${WORD}")
else()
  host_fact(OS -o "${CMAKE_HOST_SYSTEM_NAME}")
endif()
if(MACHINE)
  check_override(MACHINE "${MACHINE}" "${WORD}")
else()
  host_fact(MACHINE -m "${CMAKE_HOST_SYSTEM_PROCESSOR}")
endif()

set(text "// Generated at build time by cmake/build_facts.cmake; do not edit.
#include \"sdkversion/build_facts.h\"

extern const char build_revision[] = \"${REVISION}\";
extern const char build_time[] = \"${BUILD_TIME}\";
extern const char build_changed[] = \"${CHANGED}\";
extern const char build_os[] = \"${OS}\";
extern const char build_machine[] = \"${MACHINE}\";
")

# Rewrites `path` only when its text changes, so that nothing that depends on it is rebuilt
# for nothing.
function(write_if_changed path text)
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${path}" "${text}")
  endif()
endfunction()

write_if_changed("${OUTPUT}" "${text}")
if(REVISION_HEADER)
  write_if_changed("${REVISION_HEADER}" "// Generated at build time by cmake/build_facts.cmake; do not edit.
#define ORVA_BUILD_REVISION \"${REVISION}\"
")
endif()
