# Benchmarks (make bench runs every build/bin/*_bench): the kernel (adding, finding, saving,
# loading), the word associator (loading, associations) and searches through the engine.
if(benchmark_FOUND)
  function(veskor_bench target)
    add_executable(${target} ${CMAKE_SOURCE_DIR}/bench/${target}.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_options(${target} PRIVATE ${VESKOR_WARNINGS})
    target_link_libraries(${target} PRIVATE ${ARGN} benchmark::benchmark)
  endfunction()

  veskor_bench(kernel_bench veskorkernel)
  # Also reads a thesaurus the way veskor build-wa does and builds its associator through the engine.
  veskor_bench(wordAssociator_bench veskorann veskoreng)
  target_sources(wordAssociator_bench PRIVATE ${CMAKE_SOURCE_DIR}/tools/veskor/waSources.cpp
    ${CMAKE_SOURCE_DIR}/tools/veskor/text.cpp)
  target_include_directories(wordAssociator_bench PRIVATE ${CMAKE_SOURCE_DIR}/tools/veskor)
  veskor_bench(search_bench veskoreng)
endif()
