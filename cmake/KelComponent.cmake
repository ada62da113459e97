# kel_add_library(NAME SOURCES... [LINKS libs...])
# A shared library with hidden visibility whose classes are exported through
# NAME_EXPORTS (see core/platform/KelExport.h for the pattern).
function(kel_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  set_property(GLOBAL APPEND PROPERTY KEL_LIBRARIES ${name})
endfunction()

# kel_public_headers(LIBRARY FOLDER folder HEADERS headers...)
# The headers an application uses, given relative to `folder` (subfolders
# such as platform/ kept). They install under include/KelCommon/LIBRARY/, and
# the installation puts only include/KelCommon on the include path, so an
# application writes <KelCore/KelString.h> and no bare platform/ folder
# reaches its include path. In the build tree PROJECT_BINARY_DIR/include/LIBRARY
# links to the source folder, so that one library's headers reach another's
# as <KelCore/...> alike in both trees.
function(kel_public_headers library)
  cmake_parse_arguments(ARG "" "FOLDER" "HEADERS" ${ARGN})
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/include)
  file(CREATE_LINK ${ARG_FOLDER} ${PROJECT_BINARY_DIR}/include/${library} SYMBOLIC)
  target_include_directories(${library} PUBLIC
    $<BUILD_INTERFACE:${ARG_FOLDER}> $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>)
  foreach(header ${ARG_HEADERS})
    get_filename_component(subfolder ${header} DIRECTORY)
    install(FILES ${ARG_FOLDER}/${header}
      DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/KelCommon/${library}/${subfolder} COMPONENT dev)
  endforeach()
endfunction()

# kel_add_test(NAME SOURCES... LINKS libs... [LABELS labels...] [FIXTURES fixtures...])
# One GoogleTest executable registered with CTest, its tests named NAME.Suite.Case.
# Label "threads" puts it in the ThreadSanitizer run; "no-sanitizer" keeps it
# out of the ASan run. FIXTURES names the CTest fixtures (a server started and
# stopped by tests of their own) that its tests need.
function(kel_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;LABELS;FIXTURES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  if("threads" IN_LIST ARG_LABELS)
    add_dependencies(kel_thread_tests ${name})
  endif()
  set(properties ENVIRONMENT "KEL_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp")
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(ARG_FIXTURES)
    list(APPEND properties FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
    PROPERTIES ${properties})
endfunction()

# kel_add_fuzzer(NAME SOURCES... LINKS libs...)
# A libFuzzer target; its seed corpus lives in fuzz/<component>/corpus/NAME.
function(kel_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
endfunction()

# Adds every sub-folder of `folder` that has a CMakeLists.txt.
function(kel_add_subfolders folder)
  file(GLOB children LIST_DIRECTORIES true ${folder}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
