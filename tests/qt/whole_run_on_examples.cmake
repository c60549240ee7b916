# Runs the whole conversion through the window on the example exports, as a
# person pressing the buttons in order would, and compares the four files
# with the expected ones.
#
#   cmake -DTOOL=... -DEXAMPLES=... -DWORK=... -P whole_run_on_examples.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(
  COMMAND "${TOOL}" "${EXAMPLES}/usersxx.txt" "${EXAMPLES}/profs-groupes.csv"
          "${EXAMPLES}/profs-mails.csv" "${WORK}/window.png" "${WORK}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the run in the window ended with status ${status}")
endif()
if(NOT EXISTS "${WORK}/window.png")
  message(FATAL_ERROR "no picture of the window")
endif()
foreach(name "classes.csv" "eleves.csv" "profs.csv" "2profs invalides.csv")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/fichiers/${name}"
            "${EXAMPLES}/expected/${name}"
    RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "${name} differs from the expected file")
  endif()
endforeach()
