# A whole conversion of the example exports by passerelle-batch, checked
# byte for byte against examples/expected.
#
#   -DBATCH=<program> -DEXAMPLES=<examples folder> -DWORK_DIR=<scratch folder>
#   -DFORM=files    the three bare file names, run from the inputs' folder
#   -DFORM=actions  the same run spelled as actions, with absolute file names,
#                   from another folder: the files must still go beside the
#                   inputs, and nothing may appear in the current folder.
#   -DFORM=repeated the users file loaded twice before the rest: nobody is
#                   added twice, so the files are the same.

foreach(required BATCH EXAMPLES WORK_DIR FORM)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()

set(inputs usersxx.txt profs-groupes.csv profs-mails.csv)
set(outputs classes.csv eleves.csv profs.csv "2profs invalides.csv")
set(input_dir "${WORK_DIR}/inputs")
set(elsewhere "${WORK_DIR}/elsewhere")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${input_dir}" "${elsewhere}")
foreach(input IN LISTS inputs)
  file(COPY_FILE "${EXAMPLES}/${input}" "${input_dir}/${input}")
endforeach()

if(FORM STREQUAL "files")
  set(command "${BATCH}" ${inputs})
  set(run_dir "${input_dir}")
elseif(FORM STREQUAL "actions")
  set(command "${BATCH}"
    --users "${input_dir}/usersxx.txt" --save-classes
    --groups "${input_dir}/profs-groupes.csv"
    --mails "${input_dir}/profs-mails.csv" --save-teachers)
  set(run_dir "${elsewhere}")
elseif(FORM STREQUAL "repeated")
  set(command "${BATCH}"
    --users usersxx.txt --users usersxx.txt --save-classes
    --groups profs-groupes.csv --mails profs-mails.csv --save-teachers)
  set(run_dir "${input_dir}")
else()
  message(FATAL_ERROR "FORM must be files, actions or repeated, not ${FORM}")
endif()

execute_process(COMMAND ${command}
  WORKING_DIRECTORY "${run_dir}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)

set(failures "")
if(NOT status EQUAL 0)
  string(APPEND failures "exit status ${status}, expected 0\n")
endif()
# Both saving commands close on their message; nothing else may be said.
string(REGEX MATCHALL "sauvegardes termin" saved "${err}")
list(LENGTH saved saved_count)
if(NOT saved_count EQUAL 2)
  string(APPEND failures "expected two closing messages on stderr\n")
endif()
if(err MATCHES "erreur :|Format de fichier incorrect|table csv")
  string(APPEND failures "unexpected message on stderr\n")
endif()
if(NOT out MATCHES "fichiers")
  string(APPEND failures "stdout does not name the output folder\n")
endif()
foreach(output IN LISTS outputs)
  if(NOT out MATCHES "${output}")
    string(APPEND failures "stdout does not list ${output}\n")
  endif()
endforeach()

foreach(output IN LISTS outputs)
  set(produced "${input_dir}/fichiers/${output}")
  if(NOT EXISTS "${produced}")
    string(APPEND failures "missing output: ${output}\n")
    continue()
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
    "${produced}" "${EXAMPLES}/expected/${output}"
    RESULT_VARIABLE differs)
  if(differs)
    string(APPEND failures "${output} differs from examples/expected/${output}\n")
  endif()
endforeach()

# The exports are only ever read, the UTF-16 one included, which is decoded
# in memory: beside the inputs there is the folder "fichiers" and nothing
# else.
foreach(input IN LISTS inputs)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
    "${input_dir}/${input}" "${EXAMPLES}/${input}"
    RESULT_VARIABLE changed)
  if(changed)
    string(APPEND failures "input ${input} was modified\n")
  endif()
endforeach()
file(GLOB beside RELATIVE "${input_dir}" "${input_dir}/*")
list(SORT beside)
set(allowed ${inputs} fichiers)
list(SORT allowed)
if(NOT beside STREQUAL allowed)
  string(APPEND failures "files beside the inputs: ${beside}\n")
endif()
file(GLOB in_run_dir RELATIVE "${elsewhere}" "${elsewhere}/*")
if(in_run_dir)
  string(APPEND failures "files left in the current folder: ${in_run_dir}\n")
endif()

if(failures)
  message(FATAL_ERROR "${failures}--- stdout\n${out}--- stderr\n${err}")
endif()
