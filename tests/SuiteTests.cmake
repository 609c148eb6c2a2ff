# Writes OUTPUT: one ctest for each test suite of the GoogleTest program EXECUTABLE, named
# app.SUITE, run in WORKING_DIRECTORY with the label LABEL.
execute_process(COMMAND "${EXECUTABLE}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXECUTABLE} --gtest_list_tests: ${status}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(tests "")
foreach(line IN LISTS lines)
  # A suite's line is its name and a dot, unindented; its tests follow, indented.
  if(line MATCHES "^([A-Za-z_][A-Za-z0-9_/]*)\\.( .*)?$")
    set(suite "${CMAKE_MATCH_1}")
    string(APPEND tests
           "add_test(\"${LABEL}.${suite}\" \"${EXECUTABLE}\" \"--gtest_filter=${suite}.*\")\n"
           "set_tests_properties(\"${LABEL}.${suite}\" PROPERTIES LABELS \"${LABEL}\" "
           "WORKING_DIRECTORY \"${WORKING_DIRECTORY}\")\n")
  endif()
endforeach()
file(WRITE "${OUTPUT}" "${tests}")
