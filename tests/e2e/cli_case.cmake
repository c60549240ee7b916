# Runs passerelle-batch once in a fresh folder holding copies of the example
# exports, and checks its exit status, what it said and which files it left.
#
#   -DBATCH=<program> -DEXAMPLES=<examples folder> -DWORK_DIR=<scratch folder>
#   -DARGS=<arguments separated by "|">
#   -DSTATUS=<expected exit status>
#   -DSTDOUT=<regex> -DSTDERR=<regex>      optional, must match
#   -DPRESENT=<paths separated by "|">      optional, relative to the folder
#   -DABSENT=<paths separated by "|">       optional, relative to the folder
#   -DCHECK_FILE=<path> -DCHECK_REGEXES=<regexes separated by "|">
#                                           optional, each must match the file
#   -DWRITE_FILE=<name> -DWRITE_LINES=<lines separated by "|">
#                                           optional extra input, CR LF ends
#   -DMAKE_FIFO=<name>                      optional named pipe, never written
#   -DSTDOUT_FILE=<file>                    optional, where stdout goes
#
# A CMake argument cannot carry ";" (it splits lists on the way here), so
# regexes and lines write it as "%3B".

foreach(required BATCH EXAMPLES WORK_DIR STATUS)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "${required} is not set")
  endif()
endforeach()

function(decode text out)
  string(REPLACE "%3B" ";" decoded "${text}")
  set(${out} "${decoded}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
foreach(input usersxx.txt profs-groupes.csv profs-mails.csv)
  file(COPY_FILE "${EXAMPLES}/${input}" "${WORK_DIR}/${input}")
endforeach()
if(DEFINED WRITE_FILE)
  string(REPLACE "|" "\r\n" content "${WRITE_LINES}")
  decode("${content}" content)
  file(WRITE "${WORK_DIR}/${WRITE_FILE}" "${content}\r\n")
endif()

if(DEFINED MAKE_FIFO)
  execute_process(COMMAND mkfifo "${WORK_DIR}/${MAKE_FIFO}" RESULT_VARIABLE made)
  if(made)
    message(FATAL_ERROR "mkfifo failed")
  endif()
endif()

string(REPLACE "|" ";" arguments "${ARGS}")
# A program that waits for ever fails here instead of holding the suite up.
if(DEFINED STDOUT_FILE)
  execute_process(COMMAND "${BATCH}" ${arguments}
    WORKING_DIRECTORY "${WORK_DIR}"
    TIMEOUT 60
    RESULT_VARIABLE status
    OUTPUT_FILE "${STDOUT_FILE}"
    ERROR_VARIABLE err)
  set(out "")
else()
  execute_process(COMMAND "${BATCH}" ${arguments}
    WORKING_DIRECTORY "${WORK_DIR}"
    TIMEOUT 60
    RESULT_VARIABLE status
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err)
endif()

set(failures "")
if(NOT status STREQUAL STATUS)
  string(APPEND failures "exit status ${status}, expected ${STATUS}\n")
endif()
if(DEFINED STDOUT)
  decode("${STDOUT}" regex)
  if(NOT out MATCHES "${regex}")
    string(APPEND failures "stdout does not match: ${regex}\n")
  endif()
endif()
if(DEFINED STDERR)
  decode("${STDERR}" regex)
  if(NOT err MATCHES "${regex}")
    string(APPEND failures "stderr does not match: ${regex}\n")
  endif()
endif()

string(REPLACE "|" ";" present "${PRESENT}")
foreach(path IN LISTS present)
  if(NOT EXISTS "${WORK_DIR}/${path}")
    string(APPEND failures "missing: ${path}\n")
  endif()
endforeach()
string(REPLACE "|" ";" absent "${ABSENT}")
foreach(path IN LISTS absent)
  if(EXISTS "${WORK_DIR}/${path}")
    string(APPEND failures "should not exist: ${path}\n")
  endif()
endforeach()

if(DEFINED CHECK_FILE)
  if(EXISTS "${WORK_DIR}/${CHECK_FILE}")
    file(READ "${WORK_DIR}/${CHECK_FILE}" checked)
    string(REPLACE "|" ";" regexes "${CHECK_REGEXES}")
    foreach(encoded IN LISTS regexes)
      decode("${encoded}" regex)
      if(NOT checked MATCHES "${regex}")
        string(APPEND failures "${CHECK_FILE} does not match: ${regex}\n")
      endif()
    endforeach()
  else()
    string(APPEND failures "missing: ${CHECK_FILE}\n")
  endif()
endif()

# Whatever happened, the exports themselves are only ever read.
foreach(input usersxx.txt profs-groupes.csv profs-mails.csv)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
    "${WORK_DIR}/${input}" "${EXAMPLES}/${input}"
    RESULT_VARIABLE changed)
  if(changed)
    string(APPEND failures "input ${input} was modified\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}--- stdout\n${out}--- stderr\n${err}")
endif()
