# Compiles a file holding nothing but #include "HEADER" with the include directories listed in
# INCLUDES_FILE, and checks the outcome against EXPECTED: "compiles", or "missing" (the compiler
# stops because it cannot find HEADER).
file(READ "${INCLUDES_FILE}" includes)
set(flags)
foreach(dir IN LISTS includes)
  list(APPEND flags "-I${dir}")
endforeach()
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/probe.cpp" "#include \"${HEADER}\"\n")
execute_process(
  COMMAND ${CXX} -std=c++17 -fsyntax-only ${flags} "${WORK_DIR}/probe.cpp"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(EXPECTED STREQUAL "compiles")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "#include \"${HEADER}\" should compile here:\n${output}")
  endif()
elseif(EXPECTED STREQUAL "missing")
  string(FIND "${output}" "${HEADER}: No such file or directory" found)
  if(result EQUAL 0 OR found EQUAL -1)
    message(FATAL_ERROR "#include \"${HEADER}\" should not be found here (result ${result}):\n${output}")
  endif()
else()
  message(FATAL_ERROR "unknown expectation ${EXPECTED}")
endif()
message(STATUS "#include \"${HEADER}\": ${EXPECTED}")
