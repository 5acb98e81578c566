# cmake -DQELO=client -DPROBE=qelo-state-probe -DSOURCE_DIR=repo -DSCRATCH=dir -DMODE=installed|portable
#       -P copy_state_test.cmake
# Copies the client into a folder named with Chinese characters and a blank, as the package lays
# it out (MODE installed: with the marker file) or as a portable copy, and runs it there as an
# ordinary user (nobody, when run as root) with HOME in the scratch folder. The copy is that
# user's own, so only the marker keeps an installed copy from writing into it. Both the client
# (QELO_EXIT_WHEN_SHOWN=1) and the probe, which applies a skin through the skin window, must end
# with status 0; then settings.cfg and the skin cache must be under HOME (installed) or beside the
# program (portable), and an installed copy must hold exactly what was put into it.
file(REMOVE_RECURSE ${SCRATCH})
set(copy "${SCRATCH}/千络 副本")
set(home "${SCRATCH}/home")
file(MAKE_DIRECTORY "${copy}/res" "${home}")
file(COPY ${QELO} ${PROBE} ${SOURCE_DIR}/info.txt DESTINATION "${copy}")
file(COPY ${SOURCE_DIR}/res/loading.html ${SOURCE_DIR}/res/loading.jpg DESTINATION "${copy}/res")
if(MODE STREQUAL "installed")
  file(WRITE "${copy}/installed" "")
endif()
get_filename_component(qelo_name ${QELO} NAME)
get_filename_component(probe_name ${PROBE} NAME)

set(runner)
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(uid STREQUAL "0")
  execute_process(COMMAND chown -R 65534:65534 ${SCRATCH} COMMAND_ERROR_IS_FATAL ANY)
  set(runner setpriv --reuid=65534 --regid=65534 --clear-groups)
endif()
file(GLOB_RECURSE before LIST_DIRECTORIES true "${copy}/*")

set(env env HOME=${home} XDG_CONFIG_HOME= XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen
    QTWEBENGINE_DISABLE_SANDBOX=1)
foreach(program ${qelo_name} ${probe_name})
  execute_process(COMMAND ${runner} ${env} QELO_EXIT_WHEN_SHOWN=1 "${copy}/${program}"
    TIMEOUT 90 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc STREQUAL "0")
    message(FATAL_ERROR "${program} ended with '${rc}'\nstdout:\n${out}\nstderr:\n${err}")
  endif()
endforeach()

if(MODE STREQUAL "installed")
  set(config "${home}/.config/qelo")
  set(skins "${home}/.local/share/qelo/skins")
else()
  set(config "${copy}")
  set(skins "${copy}/skins")
  foreach(path "${home}/.config/qelo/settings.cfg" "${home}/.local/share/qelo/skins")
    if(EXISTS "${path}")
      message(FATAL_ERROR "a portable copy wrote ${path}")
    endif()
  endforeach()
endif()
file(GLOB cached "${skins}/*.skn" "${skins}/*.jpg")
if(NOT EXISTS "${config}/settings.cfg" OR NOT cached)
  message(FATAL_ERROR "no settings.cfg in ${config} or no cached skin in ${skins}\n${out}")
endif()
if(MODE STREQUAL "installed")
  file(GLOB_RECURSE after LIST_DIRECTORIES true "${copy}/*")
  if(NOT before STREQUAL after)
    message(FATAL_ERROR "the installed copy changed:\nbefore: ${before}\nafter: ${after}")
  endif()
endif()
file(REMOVE_RECURSE ${SCRATCH})
