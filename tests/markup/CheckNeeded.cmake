# cmake -DLIBRARY=<file> -P CheckNeeded.cmake: fails unless the shared library
# records libKelMarkup as needed and no other library of the family.
execute_process(COMMAND readelf -d ${LIBRARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "NEEDED\\)[ \t]+Shared library: \\[libKel[A-Za-z]+" needed "${dynamic}")
string(REGEX REPLACE "[^;]*\\[" "" family "${needed}")
if(NOT family STREQUAL "libKelMarkup")
  message(FATAL_ERROR "${LIBRARY} needs: ${family}")
endif()
