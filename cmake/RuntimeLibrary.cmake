# Stand-in GPU runtime libraries for tests and the host simulator.
#
# qf_add_runtime_library(<target> SONAME <name> SOURCES <src>... [DEFINITIONS <def>...] [LIBS <lib>...])
#
# Builds a shared library whose file name and SONAME are both <name> (for example "libcuda.so.1"),
# alone in ${CMAKE_BINARY_DIR}/runtimes/<target>/. A process finds it like the real runtime: by
# LD_LIBRARY_PATH pointing at that folder, or, once something has loaded it by its full path, as the
# runtime already in the process. Every function it defines is exported.
function(qf_add_runtime_library target)
  cmake_parse_arguments(R "" "SONAME" "SOURCES;DEFINITIONS;LIBS" ${ARGN})
  if(NOT R_SONAME OR NOT R_SOURCES)
    message(FATAL_ERROR "qf_add_runtime_library(${target}): SONAME and SOURCES are required")
  endif()
  add_library(${target} SHARED ${R_SOURCES})
  set_target_properties(${target} PROPERTIES
      PREFIX "" OUTPUT_NAME "${R_SONAME}" SUFFIX "" NO_SONAME ON
      LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/runtimes/${target}"
      C_VISIBILITY_PRESET default CXX_VISIBILITY_PRESET default VISIBILITY_INLINES_HIDDEN OFF)
  target_link_options(${target} PRIVATE "-Wl,-soname,${R_SONAME}")
  if(R_DEFINITIONS)
    target_compile_definitions(${target} PRIVATE ${R_DEFINITIONS})
  endif()
  if(R_LIBS)
    target_link_libraries(${target} PRIVATE ${R_LIBS})
  endif()
endfunction()
