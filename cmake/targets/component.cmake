# The object layer libveskorx.so and the tests of the component exports and of the object layer.
# libveskorx.so links nothing of ours: it loads libveskoreng.so from its own directory at run time.

file(GLOB veskorx_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/component/*.cpp)
add_library(veskorx SHARED ${veskorx_sources})
target_include_directories(veskorx PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_include_directories(veskorx PUBLIC $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>)
target_compile_options(veskorx PRIVATE ${VESKOR_WARNINGS})
target_link_libraries(veskorx PRIVATE ${CMAKE_DL_LIBS})
target_link_options(veskorx PRIVATE -Wl,--no-undefined)
set_target_properties(veskorx PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
# Not a link dependency: the sibling library must exist when the component first calls it.
add_dependencies(veskorx veskoreng)

# The component exports through their C header, compiled as C.
add_executable(componentapi_c_test ${CMAKE_SOURCE_DIR}/tests/component/componentAPI_test.c)
set_target_properties(componentapi_c_test PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_options(componentapi_c_test PRIVATE -Wall -Wextra -Wpedantic -Werror)
target_link_libraries(componentapi_c_test PRIVATE veskoreng)
add_test(NAME componentapi_c_test COMMAND componentapi_c_test)

block()
  file(GLOB veskorx_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/component/*.cpp)
  list(REMOVE_ITEM veskorx_test_sources ${CMAKE_SOURCE_DIR}/tests/component/missingEngine_test.cpp)
  # The text rules are tested directly from their source; everything else through the library.
  add_executable(veskorx_tests ${veskorx_test_sources} ${CMAKE_SOURCE_DIR}/src/component/componentText.cpp)
  target_include_directories(veskorx_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(veskorx_tests PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(veskorx_tests PRIVATE veskorx GTest::gtest GTest::gtest_main)
  add_dependencies(veskorx_tests veskoreng)
  gtest_discover_tests(veskorx_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "VESKOR_TEST=1")
endblock()

block()
  # A copy of libveskorx.so alone, and one beside a library without the engine's functions under
  # the engine's file name; the test program finds only these on its library path.
  add_executable(veskorx_missing_engine_tests ${CMAKE_SOURCE_DIR}/tests/component/missingEngine_test.cpp)
  target_compile_options(veskorx_missing_engine_tests PRIVATE ${VESKOR_WARNINGS})
  target_link_libraries(veskorx_missing_engine_tests PRIVATE veskorx GTest::gtest GTest::gtest_main)
  set_target_properties(veskorx_missing_engine_tests PROPERTIES SKIP_BUILD_RPATH ON)
  set(veskorx_alone ${CMAKE_BINARY_DIR}/component-tests/no-engine)
  set(veskorx_wrong ${CMAKE_BINARY_DIR}/component-tests/wrong-engine)
  add_custom_command(TARGET veskorx_missing_engine_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${veskorx_alone} ${veskorx_wrong}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:veskorx> ${veskorx_alone}/
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:veskorx> ${veskorx_wrong}/
    COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE_NAME:veskorx> ${veskorx_wrong}/libveskoreng.so)
  add_test(NAME veskorx_missing_engine COMMAND veskorx_missing_engine_tests)
  set_tests_properties(veskorx_missing_engine PROPERTIES
    ENVIRONMENT "LD_LIBRARY_PATH=${veskorx_alone};VESKORX_EXPECTED_ERROR=53")
  add_test(NAME veskorx_missing_engine_function COMMAND veskorx_missing_engine_tests)
  set_tests_properties(veskorx_missing_engine_function PROPERTIES
    ENVIRONMENT "LD_LIBRARY_PATH=${veskorx_wrong};VESKORX_EXPECTED_ERROR=453")
endblock()
