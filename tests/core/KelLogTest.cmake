# A writer process for the cross-process log test.
add_executable(kel_log_writer ${CMAKE_CURRENT_SOURCE_DIR}/support/LogWriter.cpp)
target_link_libraries(kel_log_writer PRIVATE KelCore Threads::Threads)
add_dependencies(core_KelLogTest kel_log_writer)
target_compile_definitions(core_KelLogTest PRIVATE KEL_LOG_WRITER="$<TARGET_FILE:kel_log_writer>")
