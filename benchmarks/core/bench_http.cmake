# The peer is the curl tool; the server is the tests' http_server.py.
target_include_directories(bench_http PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(bench_http PRIVATE KEL_TEST_SUPPORT_DIR="${PROJECT_SOURCE_DIR}/tests/support")
target_include_directories(bench_http PRIVATE ${PROJECT_SOURCE_DIR}/benchmarks/support)
