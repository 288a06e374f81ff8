# The build facts of orva-sdkversion, which also name the revision in every Windows tool's
# version resource. cmake/build_facts.cmake runs at every build and rewrites its two outputs
# only when a fact changed: a new commit shows up at the next build without re-running
# configure, and an unchanged one rebuilds nothing.

set(ORVA_REVISION "" CACHE STRING "Override the Git revision (8 lowercase hex digits)")
set(ORVA_BUILD_TIME "" CACHE STRING "Override the build time (YYYY-MM-DDThh:mm:ssZ)")
set(ORVA_CHANGED "" CACHE STRING "Override the last-change time (YYYY-MM-DDThh:mm:ss+hh:mm)")
set(ORVA_OS "" CACHE STRING "Override the build host's operating system (one word)")
set(ORVA_MACHINE "" CACHE STRING "Override the build host's processor type (one word)")

set(ORVA_BUILD_FACTS_SOURCE ${CMAKE_BINARY_DIR}/build_facts/build_facts.cpp)
set(ORVA_BUILD_REVISION_HEADER ${CMAKE_BINARY_DIR}/build_facts/build_revision.h)

add_custom_target(orva_build_facts
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DOUTPUT=${ORVA_BUILD_FACTS_SOURCE}
    -DREVISION_HEADER=${ORVA_BUILD_REVISION_HEADER}
    -DREVISION=${ORVA_REVISION}
    -DBUILD_TIME=${ORVA_BUILD_TIME}
    -DCHANGED=${ORVA_CHANGED}
    -DOS=${ORVA_OS}
    -DMACHINE=${ORVA_MACHINE}
    -P ${PROJECT_SOURCE_DIR}/cmake/build_facts.cmake
  BYPRODUCTS ${ORVA_BUILD_FACTS_SOURCE} ${ORVA_BUILD_REVISION_HEADER}
  COMMENT "Checking the build facts"
  VERBATIM)
