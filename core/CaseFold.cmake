# Case-insensitive names compare by Unicode's simple case folding, whose
# table is generated at build time from Unicode's own CaseFolding.txt
# (Debian package unicode-data).
find_file(KEL_CASE_FOLDING_TXT CaseFolding.txt PATHS /usr/share/unicode /usr/share/unicode-data NO_DEFAULT_PATH)
if(NOT KEL_CASE_FOLDING_TXT)
  message(FATAL_ERROR "The case folding table needs Unicode's CaseFolding.txt (Debian package unicode-data)")
endif()
set(kel_case_fold_table ${CMAKE_CURRENT_BINARY_DIR}/generated/CaseFoldTable.inc)
add_custom_command(OUTPUT ${kel_case_fold_table}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${KEL_CASE_FOLDING_TXT} -DOUTPUT=${kel_case_fold_table}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/platform/GenerateCaseFold.cmake
  DEPENDS ${KEL_CASE_FOLDING_TXT} ${CMAKE_CURRENT_SOURCE_DIR}/platform/GenerateCaseFold.cmake
  COMMENT "Generating the case folding table from ${KEL_CASE_FOLDING_TXT}"
  VERBATIM)
target_sources(KelCore PRIVATE ${kel_case_fold_table})
target_include_directories(KelCore PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
