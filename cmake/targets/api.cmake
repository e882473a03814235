# Tests of the exported C interface of libveskoreng.so: a client written in C that knows only the
# public header, and GoogleTest programs that call the library the way applications do. Test
# names containing "Concurrency." are the threaded ones (make test-tsan).

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

# A GoogleTest program against the engine. Tests that check stored files or write word-associator
# fixtures link the kernel or the network code statically; the engine hides its own copy, so the
# two cannot mix.
function(veskor_api_tests target source)
  add_executable(${target} ${CMAKE_SOURCE_DIR}/tests/api/${source})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(${target} PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(${target} PRIVATE veskoreng ${ARGN} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "VESKOR_TEST=1")
endfunction()

veskor_api_tests(api_management_tests management_test.cpp veskorkernel veskorann)
veskor_api_tests(api_maintenance_tests maintenance_test.cpp veskorkernel)
veskor_api_tests(api_find_tests find_test.cpp veskorkernel veskorann)
veskor_api_tests(api_robustness_tests robustness_test.cpp veskorann)
veskor_api_tests(api_wa_building_tests waBuilding_test.cpp)
