# Window tests: the frame, views and looks of the Qt program, driven on the
# offscreen platform with the registry store in a private folder.
find_package(Qt6 REQUIRED COMPONENTS Test)
kel_add_test(watch_KelWatchWindowTest SOURCES KelWatchWindowTest.cpp LINKS KelWatchWindows Qt6::Test)
kel_add_test(watch_KelWatchViewTest SOURCES KelWatchViewTest.cpp LINKS KelWatchWindows Qt6::Test)
kel_add_test(watch_KelWatchFilterTest SOURCES KelWatchFilterTest.cpp LINKS KelWatchWindows Qt6::Test)
add_test(NAME watch_KelWatchAnswersItsCommandLineWithoutADesktop
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_command_line.sh $<TARGET_FILE:KelWatch>)
