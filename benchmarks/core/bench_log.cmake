find_package(PkgConfig REQUIRED)
pkg_check_modules(LOG4CPLUS REQUIRED IMPORTED_TARGET log4cplus)
find_package(spdlog REQUIRED)
target_link_libraries(bench_log PRIVATE PkgConfig::LOG4CPLUS spdlog::spdlog Threads::Threads)
