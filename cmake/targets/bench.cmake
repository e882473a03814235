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

# The single-entry lookup workload through the exported API (plain program: it times each query
# itself for p50 and p99). The seek texts are looked for beside the checkout unless
# VESKOR_WORKLOADS names their directory.
set(VESKOR_WORKLOADS "" CACHE PATH "directory of the benchmark workloads (german-words-queries.txt)")
if(NOT VESKOR_WORKLOADS)
  foreach(candidate ${CMAKE_SOURCE_DIR}/../shared/workloads ${CMAKE_SOURCE_DIR}/../../shared/workloads)
    if(EXISTS ${candidate}/german-words-queries.txt)
      get_filename_component(VESKOR_WORKLOADS ${candidate} ABSOLUTE)
      break()
    endif()
  endforeach()
endif()
add_executable(workload_bench ${CMAKE_SOURCE_DIR}/bench/workload_bench.cpp)
target_compile_options(workload_bench PRIVATE ${VESKOR_WARNINGS})
target_compile_definitions(workload_bench PRIVATE VESKOR_WORKLOADS="${VESKOR_WORKLOADS}")
target_link_libraries(workload_bench PRIVATE veskoreng)
target_compile_definitions(workload_bench PRIVATE
  VESKOR_REFERENCE_RESULTS="${CMAKE_SOURCE_DIR}/bench/workload-results.txt")
