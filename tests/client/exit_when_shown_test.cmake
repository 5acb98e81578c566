# cmake -DQELO=PATH/TO/qelo -P exit_when_shown_test.cmake
# Starts the client with QELO_EXIT_WHEN_SHOWN=1 (offscreen unless the environment says otherwise):
# it must end by itself, with status 0, having printed exactly one report of its main window shown.
if(NOT DEFINED ENV{QT_QPA_PLATFORM})
  set(ENV{QT_QPA_PLATFORM} offscreen)
endif()
set(ENV{QTWEBENGINE_DISABLE_SANDBOX} 1)
set(ENV{QELO_EXIT_WHEN_SHOWN} 1)
execute_process(COMMAND ${QELO} TIMEOUT 60
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "qelo ended with '${rc}' instead of 0\nstdout:\n${out}\nstderr:\n${err}")
endif()
set(report "qelo: main window shown, monotonic_ns=[0-9]+ since_main_ms=[0-9]+\\.[0-9][0-9][0-9] cpu_ms=[0-9]+\\.[0-9][0-9][0-9]\n")
string(REGEX MATCHALL "${report}" reports "${out}")
list(LENGTH reports count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one report of the main window shown, got ${count}:\n${out}")
endif()
