# Benchmark of the word associator: loading and computing associations.
if(benchmark_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/bench/wordAssociator_bench.cpp)
  add_executable(wordAssociator_bench ${CMAKE_SOURCE_DIR}/bench/wordAssociator_bench.cpp)
  target_include_directories(wordAssociator_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(wordAssociator_bench PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(wordAssociator_bench PRIVATE veskorann benchmark::benchmark)
endif()
