# veskor serve: HTTP through Debian's cpp-httplib, the search page built into the tool from
# tools/veskor/servePage.html, the endpoint tests, the page's browser test and the load benchmark.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)

set(serve_page_source ${CMAKE_BINARY_DIR}/generated/servePage.cpp)
add_custom_command(OUTPUT ${serve_page_source}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_SOURCE_DIR}/tools/veskor/servePage.html -DOUTPUT=${serve_page_source}
    -DNAMESPACE=veskorcli::serve -DFUNCTION=servePage -P ${CMAKE_SOURCE_DIR}/cmake/embedFile.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/veskor/servePage.html ${CMAKE_SOURCE_DIR}/cmake/embedFile.cmake
  COMMENT "Embedding the search page")
target_sources(veskor PRIVATE ${serve_page_source})
target_link_libraries(veskor PRIVATE PkgConfig::HTTPLIB)

# Endpoint tests: the tool's binary serving on a free loopback port, asked through real HTTP.
file(GLOB serve_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/serve/*.cpp)
add_executable(serve_tests ${serve_test_sources})
target_include_directories(serve_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(serve_tests PRIVATE ${VESKOR_WARNINGS})
target_compile_definitions(serve_tests PRIVATE VESKOR_CLI="$<TARGET_FILE:veskor>"
  VESKOR_SAMPLE_DIR="${CMAKE_SOURCE_DIR}/data/sample"
  VESKOR_TSAN_SUPPRESSIONS="${CMAKE_SOURCE_DIR}/tests/serve/tsan.supp")
target_link_libraries(serve_tests PRIVATE PkgConfig::HTTPLIB nlohmann_json::nlohmann_json GTest::gtest
  GTest::gtest_main)
add_dependencies(serve_tests veskor)
gtest_discover_tests(serve_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "VESKOR_TEST=1" TIMEOUT 120)

# The page in headless Chromium, driven by playwright-core from tests/browser/node_modules
# (scripts/install-npm-deps). The screenshot lands in the build tree.
find_program(VESKOR_NODE node)
add_test(NAME serve_page_browser
  COMMAND ${VESKOR_NODE} --test ${CMAKE_SOURCE_DIR}/tests/browser/page.test.mjs)
set_tests_properties(serve_page_browser PROPERTIES TIMEOUT 180
  ENVIRONMENT "VESKOR_CLI=$<TARGET_FILE:veskor>;VESKOR_SAMPLE_DIR=${CMAKE_SOURCE_DIR}/data/sample;VESKOR_SCREENSHOT=${CMAKE_BINARY_DIR}/browser/serve-page.png")

# make bench runs it with the others: finds over the German word list from concurrent clients.
add_executable(serve_load_bench ${CMAKE_SOURCE_DIR}/bench/serve_load.cpp)
target_include_directories(serve_load_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(serve_load_bench PRIVATE ${VESKOR_WARNINGS})
target_compile_definitions(serve_load_bench PRIVATE VESKOR_CLI="$<TARGET_FILE:veskor>")
target_link_libraries(serve_load_bench PRIVATE veskoreng PkgConfig::HTTPLIB nlohmann_json::nlohmann_json)
add_dependencies(serve_load_bench veskor)

# The README's service examples (curl against a running service) are what the tool really does.
add_test(NAME readme_serve_examples COMMAND bash ${CMAKE_SOURCE_DIR}/tests/readme/serve.sh ${CMAKE_SOURCE_DIR}
  $<TARGET_FILE_DIR:veskor>)
