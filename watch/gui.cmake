# The Qt program. Everything but main() is a static library, so the window
# tests drive the same frame, views and looks as the program.
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport)
set(CMAKE_AUTOMOC ON)
add_library(KelWatchWindows STATIC
  AboutDlg.cpp AppLook.cpp ChildFrm.cpp KelWatchApp.cpp KelWatchResources.cpp
  KelWatchView.cpp MainFrm.cpp RibbonBar.cpp WindowListDlg.cpp
  AboutDlg.h AppLook.h ChildFrm.h KelWatchApp.h KelWatchView.h MainFrm.h Resource.h RibbonBar.h
  WindowListDlg.h)
target_link_libraries(KelWatchWindows PUBLIC KelWatchEngine Qt6::Widgets Qt6::PrintSupport)

add_executable(KelWatch main.cpp)
target_link_libraries(KelWatch PRIVATE KelWatchWindows)
install(TARGETS KelWatch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES KelWatch.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
set_target_properties(KelWatch PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
