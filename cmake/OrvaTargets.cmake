# Compiler settings shared by every target, and the helper that defines a shipped tool.

set(ORVA_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
if(ORVA_WERROR)
  list(APPEND ORVA_WARNINGS -Werror)
endif()

if(ORVA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Our own sources get the full warning set; third-party code (GoogleTest) does not. The
# resource compiler of a Windows tool takes none of them.
function(orva_warnings target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:${ORVA_WARNINGS}>)
endfunction()

# What each shipped tool does, in one line: the description in its Windows version resource.
set(ORVA_DESCRIPTION_orva-sdkversion "Prints the facts fixed into the ORVA Application SDK when it was built")
set(ORVA_DESCRIPTION_mkdir "Creates directories")
set(ORVA_DESCRIPTION_cat "Copies files to standard output")
set(ORVA_DESCRIPTION_realpath "Prints the absolute form of paths")

# Gives the Windows tool `name` its resources: the application manifest and a version
# resource whose revision follows the build facts (rewritten at every build, see
# cmake/OrvaBuildFacts.cmake).
function(orva_add_windows_resources name)
  set(ORVA_RC_NAME ${name})
  set(ORVA_RC_DESCRIPTION "${ORVA_DESCRIPTION_${name}}")
  if(ORVA_RC_DESCRIPTION STREQUAL "")
    message(FATAL_ERROR "${name} has no description (ORVA_DESCRIPTION_${name} in cmake/OrvaTargets.cmake)")
  endif()
  set(ORVA_RC_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/windows_tool.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows_tool.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES
    OBJECT_DEPENDS "${ORVA_BUILD_REVISION_HEADER};${ORVA_RC_MANIFEST}")
  target_sources(${name} PRIVATE ${rc})
  add_dependencies(${name} orva_build_facts)
endfunction()

set(ORVA_TOOLS "" CACHE INTERNAL "The shipped programs")

# The toolchain's object that turns off the runtime's expansion of wildcards in the
# command line.
if(WIN32)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=CRT_noglob.o
                  OUTPUT_VARIABLE ORVA_CRT_NOGLOB OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT EXISTS "${ORVA_CRT_NOGLOB}")
    message(FATAL_ERROR "the toolchain has no CRT_noglob.o")
  endif()
endif()

# orva_add_tool(<name> SOURCES <file>... [LIBS <lib>...])
# A shipped program: lands in <build>/bin, installs into <prefix>/bin, linked statically
# when ORVA_STATIC_TOOLS is on so that it starts without the dynamic loader.
function(orva_add_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  orva_warnings(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  # main takes its arguments (compat/arguments.h) and writes its streams (compat/stdio.h)
  # through the layer.
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} orva_console)
  if(WIN32)
    # The runtime expands no wildcards in the command line: any expansion is the shell's.
    target_link_libraries(${name} PRIVATE ${ORVA_CRT_NOGLOB})
    orva_add_windows_resources(${name})
    # The linker would stamp the time of the link into the header: the same sources must
    # give the same bytes.
    target_link_options(${name} PRIVATE LINKER:--no-insert-timestamp)
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(ORVA_STATIC_TOOLS)
    target_link_options(${name} PRIVATE -static)
  endif()
  install(TARGETS ${name} RUNTIME DESTINATION bin)
  set(ORVA_TOOLS ${ORVA_TOOLS} ${name} CACHE INTERNAL "The shipped programs")
endfunction()
