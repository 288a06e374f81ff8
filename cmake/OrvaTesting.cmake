# GoogleTest: the machine's prebuilt library natively, Debian's sources when cross-compiling.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest CONFIG QUIET)
endif()
if(NOT TARGET GTest::gtest_main)
  set(ORVA_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources to build when no library is found")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ORVA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
include(GoogleTest)

# Under Wine, one persistent server for the whole run: a fixture starts it before the first
# test and stops it after the last.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  set(ORVA_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(ORVA_WINE_ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${ORVA_WINEPREFIX}")
  add_test(NAME wine_server_start COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-server start)
  add_test(NAME wine_server_stop COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-server stop)
  set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${ORVA_WINE_ENVIRONMENT}")
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${ORVA_WINE_ENVIRONMENT}")
endif()

# orva_add_test(<name> SOURCES <file>... [LIBS <lib>...] [LABELS <label>...] [TOOLS <tool>...])
# A GoogleTest binary whose cases become CTest tests. Each tool named under TOOLS is built
# first and its path reaches the test as the macro ORVA_TOOL_<NAME> (for example ORVA_TOOL_CAT).
function(orva_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;TOOLS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  orva_warnings(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orva_testing GTest::gtest_main)
  foreach(tool IN LISTS ARG_TOOLS)
    string(TOUPPER "${tool}" tool_macro)
    string(REPLACE "-" "_" tool_macro "${tool_macro}")
    add_dependencies(${name} ${tool})
    target_compile_definitions(${name} PRIVATE "ORVA_TOOL_${tool_macro}=\"$<TARGET_FILE:${tool}>\"")
  endforeach()
  if(ORVA_WINE_ENVIRONMENT)
    # Listing the cases would start Wine before the fixture has warmed it: one CTest test
    # per binary instead.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      LABELS "${ARG_LABELS}" TIMEOUT 600 FIXTURES_REQUIRED wine ENVIRONMENT "${ORVA_WINE_ENVIRONMENT}")
  else()
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
  endif()
endfunction()
