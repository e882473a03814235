# Tests of the exported C interface of libveskoreng.so: a client written in C that knows only the
# public header, and GoogleTest programs that call the library the way applications do. Test
# names containing "Concurrency." are the threaded ones (make test-tsan).
if(TARGET veskoreng)
  # The engine cannot create a word associator; the C client opens one written beforehand.
  add_executable(api_write_wa ${CMAKE_SOURCE_DIR}/tests/api/writeWordAssociator.cpp)
  target_include_directories(api_write_wa PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(api_write_wa PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(api_write_wa PRIVATE veskorann)
  set(api_c_wa ${CMAKE_CURRENT_BINARY_DIR}/api-c-test/wa)
  add_test(NAME api_c_client_setup COMMAND api_write_wa ${api_c_wa})
  set_tests_properties(api_c_client_setup PROPERTIES FIXTURES_SETUP api_c_wa)

  add_executable(api_c_test ${CMAKE_SOURCE_DIR}/tests/api/api_c_test.c)
  set_target_properties(api_c_test PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
  target_compile_options(api_c_test PRIVATE -Wall -Wextra -Wpedantic -Werror)
  target_link_libraries(api_c_test PRIVATE veskoreng)
  add_test(NAME ApiCClientConcurrency.ThreadsFilesAndCleanup COMMAND api_c_test ${api_c_wa})
  set_tests_properties(ApiCClientConcurrency.ThreadsFilesAndCleanup PROPERTIES FIXTURES_REQUIRED api_c_wa)

  # Verifies files with the kernel's loader, linked statically; the engine keeps its own copy hidden.
  add_executable(api_management_tests ${CMAKE_SOURCE_DIR}/tests/api/management_test.cpp)
  target_include_directories(api_management_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(api_management_tests PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(api_management_tests PRIVATE veskoreng veskorkernel veskorann GTest::gtest
    GTest::gtest_main)
  gtest_discover_tests(api_management_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "VESKOR_TEST=1")
endif()
