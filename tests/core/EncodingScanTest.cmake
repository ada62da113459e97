# The block scanners are internal to KelCore (hidden); the test compiles them
# in to compare every vector level with the byte-by-byte one.
target_sources(core_EncodingScanTest PRIVATE ${PROJECT_SOURCE_DIR}/core/EncodingScan.cpp
  ${PROJECT_SOURCE_DIR}/core/EncodingScanSimd.cpp)
target_include_directories(core_EncodingScanTest PRIVATE ${PROJECT_SOURCE_DIR}/core)
