# The known-item evaluation of document search on the German help pages (bench/helpEval_bench.cpp).
# Xapian serves only as its BM25 comparison: it is linked into this program and nothing else.
add_executable(helpEval_bench ${CMAKE_SOURCE_DIR}/bench/helpEval_bench.cpp)
target_compile_options(helpEval_bench PRIVATE ${VESKOR_WARNINGS})
target_link_libraries(helpEval_bench PRIVATE veskoreng)
find_package(xapian CONFIG QUIET)
if(xapian_FOUND)
  target_compile_definitions(helpEval_bench PRIVATE VESKOR_BENCH_XAPIAN)
  target_include_directories(helpEval_bench PRIVATE ${XAPIAN_INCLUDE_DIR})
  target_link_libraries(helpEval_bench PRIVATE ${XAPIAN_LIBRARIES})
else()
  message(STATUS "Xapian not found: helpEval_bench runs without its BM25 comparison")
endif()
