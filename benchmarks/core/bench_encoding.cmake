find_package(PkgConfig REQUIRED)
pkg_check_modules(UCHARDET REQUIRED IMPORTED_TARGET uchardet)
target_link_libraries(bench_encoding PRIVATE PkgConfig::UCHARDET)
