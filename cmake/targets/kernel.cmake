# Benchmark of the knowledge-base kernel: adding, finding, saving and loading.
if(benchmark_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/bench/kernel_bench.cpp)
  add_executable(kernel_bench ${CMAKE_SOURCE_DIR}/bench/kernel_bench.cpp)
  target_compile_options(kernel_bench PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(kernel_bench PRIVATE veskorkernel benchmark::benchmark)
endif()
