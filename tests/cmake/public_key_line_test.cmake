# LAUNCHER_PUBLIC_KEY at configure time: each value is tried in a CMake process of its own (a
# refusal ends the process), and must be taken or refused as the table says.
#   cmake -DSOURCE_DIR=<checkout> -DWORK_DIR=<scratch folder> -P public_key_line_test.cmake
cmake_policy(SET CMP0007 NEW)
set(line "RWTFf85WrkflRiqOd0gn6WkFVzABxC/LAiq2S2KSTqswvuVKUW5m+/Bu")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/key.pub" "untrusted comment: minisign public key C5F47AE55CE7F45\n${line}\n")
file(WRITE "${WORK_DIR}/crlf.pub" "untrusted comment: minisign public key C5F47AE55CE7F45\r\n${line}\r\n")
file(WRITE "${WORK_DIR}/secret.key" "untrusted comment: minisign encrypted secret key\nRWQAAEIy...\n")
file(WRITE "${WORK_DIR}/probe.cmake"
     "include(\"${SOURCE_DIR}/cmake/LauncherPublicKey.cmake\")\n"
     "tidewake_public_key_line(\"\${VALUE}\" out)\n"
     "message(\"line=\${out}\")\n")

# value | expected line ("" = refused)
set(cases
  "${line}|${line}"
  "${WORK_DIR}/key.pub|${line}"
  "${WORK_DIR}/crlf.pub|${line}"
  "RWTFf85WrkflRiqOd0gn6WkFVzABxC/LAiq2S2KSTqswvuVKUW5m+/B|"     # 41 bytes
  "RWTFf85WrkflRiqOd0gn6WkFVzABxC/LAiq2S2KSTqswvuVKUW5m+/BuAAAA|" # 45 bytes
  "RUTFf85WrkflRiqOd0gn6WkFVzABxC/LAiq2S2KSTqswvuVKUW5m+/Bu|"     # not "Ed"
  "RWTFf85WrkflRiqOd0gn6WkFVzABxC/LAiq2S2KSTqswvuVKUW5m+/B*|"     # not base64
  "${WORK_DIR}/secret.key|")
set(failures "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 value)
  list(LENGTH parts count)
  set(expected "")
  if(count GREATER 1)
    list(GET parts 1 expected)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DVALUE=${value} -P "${WORK_DIR}/probe.cmake"
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(expected STREQUAL "")
    if(result EQUAL 0)
      string(APPEND failures "taken, should be refused: ${value}\n")
    endif()
  else()
    string(FIND "${err}" "line=${expected}\n" at)
    if(NOT result EQUAL 0 OR at EQUAL -1)
      string(APPEND failures "refused or misread (${err}): ${value}\n")
    endif()
  endif()
endforeach()
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
