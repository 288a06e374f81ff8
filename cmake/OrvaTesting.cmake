# GoogleTest: the machine's prebuilt library natively, Debian's sources when cross-compiling.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest CONFIG QUIET)
endif()
if(NOT TARGET GTest::gtest_main)
  set(ORVA_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources to build when no library is found")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ORVA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
include(GoogleTest)

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
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 300)
endfunction()
