# One very large float frame through the module and through the core, in place and by the old work-copy
# road, with the peak resident size of each (not a benchmark).
add_executable(large_frame ${CMAKE_CURRENT_SOURCE_DIR}/LargeFrame.cpp)
target_link_libraries(large_frame PRIVATE qf_hostsim qf_cpu qf_frame)
target_compile_definitions(large_frame PRIVATE QF_MODULE_PATH="$<TARGET_FILE:Quaverflux>")
add_dependencies(large_frame Quaverflux)
