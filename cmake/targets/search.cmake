# The find functions through libveskoreng.so, and the search benchmark.
if(TARGET veskoreng AND EXISTS ${CMAKE_SOURCE_DIR}/tests/api/find_test.cpp)
  add_executable(api_find_tests ${CMAKE_SOURCE_DIR}/tests/api/find_test.cpp)
  target_include_directories(api_find_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(api_find_tests PRIVATE ${VESKOR_WARNINGS})
  # The word associator fixture writes its files with the streams, linked in statically.
  target_link_libraries(api_find_tests PRIVATE veskoreng veskorann GTest::gtest GTest::gtest_main)
  gtest_discover_tests(api_find_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "VESKOR_TEST=1")
endif()

if(benchmark_FOUND AND TARGET veskoreng AND EXISTS ${CMAKE_SOURCE_DIR}/bench/search_bench.cpp)
  add_executable(search_bench ${CMAKE_SOURCE_DIR}/bench/search_bench.cpp)
  target_compile_options(search_bench PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(search_bench PRIVATE veskoreng benchmark::benchmark)
endif()
