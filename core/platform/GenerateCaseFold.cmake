# Writes the simple case folding of Unicode's CaseFolding.txt (the mappings
# of status C and S) as C++ table rows {code point, folded code point}, in
# the file's order, which is ascending code point order.
#   cmake -DINPUT=CaseFolding.txt -DOUTPUT=CaseFoldTable.inc -P GenerateCaseFold.cmake
file(STRINGS ${INPUT} version LIMIT_COUNT 1 REGEX "^# CaseFolding-")
file(STRINGS ${INPUT} lines REGEX "^[0-9A-F]+; [CS]; [0-9A-F]+;")
set(rows "")
set(count 0)
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9A-F]+); [CS]; ([0-9A-F]+);" matched "${line}")
  string(APPEND rows "    {0x${CMAKE_MATCH_1}, 0x${CMAKE_MATCH_2}},\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count LESS 1000)
  message(FATAL_ERROR "${INPUT} holds only ${count} simple case foldings")
endif()
file(WRITE ${OUTPUT}.tmp "// Generated from ${version} by GenerateCaseFold.cmake: do not edit.\n${rows}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
