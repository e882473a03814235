# Tests of the exported maintenance functions, a client of libveskoreng.so. They read what a call
# stored back from a backup file with the kernel's loader, linked in statically; the engine hides
# its own copy of the kernel, so the two cannot mix.
if(TARGET veskoreng AND EXISTS ${CMAKE_SOURCE_DIR}/tests/api/maintenance_test.cpp)
  add_executable(api_maintenance_tests ${CMAKE_SOURCE_DIR}/tests/api/maintenance_test.cpp)
  target_include_directories(api_maintenance_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(api_maintenance_tests PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(api_maintenance_tests PRIVATE veskoreng veskorkernel GTest::gtest GTest::gtest_main)
  gtest_discover_tests(api_maintenance_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "VESKOR_TEST=1")
endif()
