# Both programs under the emulator on a server folder whose path, a pack and a
# texture go beyond ASCII: the example server with one more pack, "ü 日本.json",
# mapping /Game/Ü/ü.ü. The folder's own name stays within the system's code
# page, in which the host reports it, and is the checker's warning (the live
# host widens its bytes one by one); one that does not is the checker's error. They take the folder from their command line and must reach every
# file by its own name, the textures included.
#   cmake -DEMULATOR=wine -DDEVSERVER=... -DCHECK=... -DPLUGIN=... -DEXAMPLES=... -DWORK=... -P tools_beyond_ascii.cmake
set(plugin_dir "${WORK}/ShooterGame/Binaries/Win64/ArkApi/Plugins/Glyphwork")
file(REMOVE_RECURSE "${WORK}")
file(COPY ${EXAMPLES}/server/ DESTINATION "${WORK}")
file(COPY ${PLUGIN} DESTINATION "${plugin_dir}")
file(WRITE "${plugin_dir}/Packs/ü 日本.json" [[{"EmojiPath": "/Game/Ü/", "EmojiArray": ["ü"]}]])
file(WRITE "${WORK}/ShooterGame/Content/Ü/ü.uasset" "")
file(WRITE "${WORK}/script ü.txt" "join Bea\ngroup Bea Emoji\nsay Bea :ü: :smile:\nquit\n")

function(expect what text pattern)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "${what} printed no line matching ${pattern}:\n${text}")
  endif()
endfunction()

set(img_u [[<img src="chat.image" path="/Game/Ü/ü.ü"/>]])
set(img_smile [[<img src="chat.image" path="/Game/Emojis/Faces/smile.smile"/>]])

execute_process(COMMAND ${EMULATOR} ${DEVSERVER} --root "${WORK}" --script "${WORK}/script ü.txt"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the dev server exited with ${status}:\n${out}${err}")
endif()
expect("the dev server" "${out}" "Loaded 10 new object\\(s\\)!")
expect("the dev server" "${out}" "\\[chat\\] Bea -> Bea: ${img_u} ${img_smile}")

execute_process(COMMAND ${EMULATOR} ${CHECK} --root "${WORK}" --say ":ü: :smile:"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 1)
  message(FATAL_ERROR "glyphwork-check exited with ${status}, not 1 (warnings):\n${out}${err}")
endif()
expect("glyphwork-check" "${out}" "[/\\\\]Packs[/\\\\]ü 日本\\.json: warning: not named in Packs")
expect("glyphwork-check" "${out}" "raptor\\.raptor does not load from the content folder")
expect("glyphwork-check" "${out}" "=> ${img_u} ${img_smile}")
expect("glyphwork-check" "${out}" "warning: the folder's name goes beyond ASCII: the live host turns each byte")
expect("glyphwork-check" "${out}" "4 packs, 11 emoji, 0 errors, 3 warnings\r?\n")
file(REMOVE_RECURSE "${WORK}")

# A server folder that the system's code page cannot name: the live host
# reports it with '?' in place of what is missing, and finds nothing there.
set(far "${WORK} 日本")
file(REMOVE_RECURSE "${far}")
file(COPY ${EXAMPLES}/kit/ DESTINATION "${far}")
execute_process(COMMAND ${EMULATOR} ${CHECK} --root "${far}"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "glyphwork-check exited with ${status}, not 2 (errors):\n${out}${err}")
endif()
# The cause first, before the files it keeps from being found.
expect("glyphwork-check" "${out}" "^[^\n]*: error: the host reports this folder in the system's code page, which lacks some of its characters")
file(REMOVE_RECURSE "${far}")
