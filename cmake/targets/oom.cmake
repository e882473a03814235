# The allocation-failure suite (make test-oom): every exported operation with each of its
# allocations failing in turn. The program replaces malloc and operator new for the whole process,
# so it is not registered with ctest; make test-oom runs it in the AddressSanitizer build, where it
# also checks for leaks. ThreadSanitizer keeps an allocator of its own, so it is left out there.
if(NOT VESKOR_SANITIZE STREQUAL "thread")
  add_executable(oom_tests ${CMAKE_SOURCE_DIR}/tests/oom/oom_test.cpp ${CMAKE_SOURCE_DIR}/tests/oom/failingAllocator.cpp)
  target_include_directories(oom_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(oom_tests PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(oom_tests PRIVATE veskoreng veskorkernel veskorann GTest::gtest GTest::gtest_main)
  # The engine and the C library must find this program's malloc.
  set_target_properties(oom_tests PROPERTIES ENABLE_EXPORTS ON)
endif()
