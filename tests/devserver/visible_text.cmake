# The dev server under the emulator prints what players say with its control
# characters escaped, one line per event: a script that says ESC, CR and BEL,
# and runs ServerChat with them.
#   cmake -DEMULATOR=wine -DDEVSERVER=... -DPLUGIN=... -DEXAMPLES=... -DWORK=... -P visible_text.cmake
file(REMOVE_RECURSE "${WORK}")
file(COPY ${EXAMPLES}/server/ DESTINATION "${WORK}")
file(COPY ${PLUGIN} DESTINATION "${WORK}/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork")
string(ASCII 27 esc)
string(ASCII 13 cr)
string(ASCII 7 bel)
file(WRITE "${WORK}/script.txt"
     "join Ann\nsay Ann a${esc}[2Jb${cr}c${bel}\nrcon ServerChat ${esc}]0;title${bel}x\nrcon ListPlayers\njoin Bea\nrcon ListPlayers\nquit\n")
execute_process(COMMAND ${EMULATOR} ${DEVSERVER} --root "${WORK}" --script "${WORK}/script.txt"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the dev server exited with ${status}:\n${out}${err}")
endif()
# Windows ends lines with CR LF: one CR before each LF is the line's end.
string(REPLACE "${cr}\n" "\n" out "${out}")
foreach(expected [[[chat] Ann -> Ann: a\x1b[2Jb\rc\x07]] [[[chat] SERVER -> Ann: \x1b]0;title\x07x]]
                 [[[rcon] #3: 0. Ann, id-Ann\n1. Bea, id-Bea]])
  string(FIND "${out}" "${expected}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no line ${expected} in:\n${out}")
  endif()
endforeach()
# Nothing raw left but the colours of the host's own log lines.
string(REGEX REPLACE "${esc}\\[[0-9]+m" "" plain "${out}")
if(plain MATCHES "[${esc}${cr}${bel}]")
  message(FATAL_ERROR "a raw control character in:\n${out}")
endif()
file(REMOVE_RECURSE "${WORK}")
