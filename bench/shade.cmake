# qf_bench: the row shaders and the band renderer on the default look at 1920 x 1080, with OpenCV's
# remap as a yardstick when OpenCV is installed (a benchmark-only dependency, never linked elsewhere).
find_package(OpenCV QUIET COMPONENTS core imgproc)
qf_add_bench(qf_bench SOURCES ShadeBench.cpp LIBS qf_cpu qf_cpu_simd qf_frame)
target_include_directories(qf_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/kernel ${PROJECT_SOURCE_DIR}/tests/frame
                                            ${PROJECT_SOURCE_DIR}/tests/cpu_simd)
if(OpenCV_FOUND)
  target_link_libraries(qf_bench PRIVATE opencv_core opencv_imgproc)
  target_compile_definitions(qf_bench PRIVATE QF_BENCH_HAVE_OPENCV)
else()
  message(STATUS "OpenCV not found: qf_bench runs without the remap yardstick")
endif()
