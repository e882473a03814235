# Reliability suites beyond the unit tests.

# Saves killed part-way (a forked child, SIGKILL) and threads mixing every operation under a
# watchdog; both are ordinary ctest programs. The stress test's suite ends in Concurrency, so
# make test-tsan runs it too.
veskor_api_tests(api_crash_safety_tests crashSafety_test.cpp veskorkernel)
veskor_api_tests(api_stress_tests stress_test.cpp veskorkernel veskorann)

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
  if(VESKOR_SANITIZE STREQUAL "address")
    # The allocator runs before AddressSanitizer has its shadow memory, so it is not instrumented;
    # it hands every block to AddressSanitizer's allocator, which then tracks leaks as usual.
    set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/oom/failingAllocator.cpp PROPERTIES
      COMPILE_OPTIONS "-fno-sanitize=address,undefined" COMPILE_DEFINITIONS VESKOR_OOM_ASAN=1)
  endif()
endif()
