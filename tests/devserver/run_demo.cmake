# Runs the example demo on the built dev server, as the README's main job
# does, and compares what it prints (times and colour codes taken out) with
# demo_expected.txt. For builds whose programs run under an emulator, where
# the test program that drives the dev server through pipes is not built.
#   cmake -DEMULATOR=wine -DDEVSERVER=... -DPLUGIN=... -DEXAMPLES=... -DEXPECTED=... -DWORK=... -P run_demo.cmake
file(REMOVE_RECURSE ${WORK})
file(COPY ${EXAMPLES}/server/ DESTINATION ${WORK})
file(COPY ${PLUGIN} DESTINATION ${WORK}/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork)
execute_process(COMMAND ${EMULATOR} ${DEVSERVER} --root ${WORK} --script ${EXAMPLES}/demo.txt
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the dev server exited with ${status}:\n${err}")
endif()
string(ASCII 27 esc)
string(REPLACE "\r" "" out "${out}")
string(REGEX REPLACE "${esc}\\[([0-9]+)m[0-9][0-9]/[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9]" "\\1" out "${out}")
string(REPLACE "${esc}[0m" "" out "${out}")
# The host's own lines carry the date and time too.
string(REGEX REPLACE "(^|\n)[0-9][0-9]/[0-9][0-9]/[0-9][0-9] [0-9][0-9]:[0-9][0-9] \\[" "\\1[" out "${out}")
# Days, in the usage report, are today's.
string(REGEX REPLACE "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]" "YYYY-MM-DD" out "${out}")
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL expected)
  file(WRITE ${WORK}.out "${out}")
  message(FATAL_ERROR "the demo printed other lines than ${EXPECTED}; see ${WORK}.out")
endif()
file(REMOVE_RECURSE ${WORK})
