# The veskor command-line tool (a client of the public C API only) and its tests.
find_package(CLI11 CONFIG REQUIRED)
find_package(nlohmann_json 3 CONFIG REQUIRED)

file(GLOB veskor_cli_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/veskor/*.cpp)
add_executable(veskor ${veskor_cli_sources})
target_compile_options(veskor PRIVATE ${VESKOR_WARNINGS})
target_compile_definitions(veskor PRIVATE VESKOR_VERSION="${PROJECT_VERSION}"
  VESKOR_SOURCE_SAMPLE_DIR="${CMAKE_SOURCE_DIR}/data/sample")
# veskoreng brings include/ and nothing of src/.
target_link_libraries(veskor PRIVATE veskoreng CLI11::CLI11 nlohmann_json::nlohmann_json)

file(GLOB veskor_cli_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cli/*.cpp)
add_executable(cli_tests ${veskor_cli_test_sources})
target_include_directories(cli_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(cli_tests PRIVATE ${VESKOR_WARNINGS})
target_compile_definitions(cli_tests PRIVATE VESKOR_CLI="$<TARGET_FILE:veskor>"
  VESKOR_SAMPLE_DIR="${CMAKE_SOURCE_DIR}/data/sample")
# The tests write word-associator files with the network code, which the tool itself never links.
target_link_libraries(cli_tests PRIVATE veskorann nlohmann_json::nlohmann_json GTest::gtest GTest::gtest_main)
add_dependencies(cli_tests veskor)
gtest_discover_tests(cli_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "VESKOR_TEST=1")

# The README's console examples and its C example are what the tool and the install test really do.
add_test(NAME readme_examples COMMAND bash ${CMAKE_SOURCE_DIR}/tests/readme/check.sh ${CMAKE_SOURCE_DIR}
  $<TARGET_FILE_DIR:veskor>)
