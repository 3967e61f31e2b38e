# cmake -DINPUT=file -DOUTPUT=file.gz -P gzip.cmake
# Compresses one file the way Debian wants documentation and manual pages: best compression,
# no name and no time stamp in the header, so the result depends on the content only.
execute_process(COMMAND gzip -9 -n -c "${INPUT}" OUTPUT_FILE "${OUTPUT}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "gzip ${INPUT}: ${result}")
endif()
