# Whole frames through the host simulator and the plug-in module, as a host renders them.
qf_add_bench(render_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/RenderBench.cpp LIBS qf_hostsim qf_params qf_cpu qf_frame)
target_compile_definitions(render_bench PRIVATE QF_MODULE_PATH="$<TARGET_FILE:Quaverflux>")
add_dependencies(render_bench Quaverflux)
