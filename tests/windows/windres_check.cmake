# Compiles one configured resource script with the cross resource compiler.
#   cmake -DWINDRES=... -DRC=... -DOUT=... -DRESOURCES=... -DVERSION=... -P windres_check.cmake
get_filename_component(program "${RC}" NAME_WE)
if(NOT EXISTS "${RESOURCES}/${program}.ico")
    message(FATAL_ERROR "resources/${program}.ico is missing: the Windows build needs it")
endif()
execute_process(COMMAND "${WINDRES}" -O coff -i "${RC}" -o "${OUT}"
                RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "windres failed on ${RC}:\n${errors}")
endif()
# The icon, with all its sizes, is in the compiled resources.
file(SIZE "${RESOURCES}/${program}.ico" icon_size)
file(SIZE "${OUT}" res_size)
if(res_size LESS icon_size)
    message(FATAL_ERROR "${OUT} is smaller than the icon it should hold")
endif()
file(READ "${OUT}" res HEX)
# The project's version as the file's properties show it, in UTF-16.
string(HEX "${VERSION}" ascii)
string(REGEX REPLACE "(..)" "\\100" utf16 "${ascii}")
string(FIND "${res}" "${utf16}" at)
if(VERSION STREQUAL "" OR at EQUAL -1)
    message(FATAL_ERROR "${OUT} lacks the version text '${VERSION}'")
endif()
# The manifest, as Windows reads it (UTF-8), is among them.
string(HEX "level=\"asInvoker\"" invoker)
string(FIND "${res}" "${invoker}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "${OUT} holds no manifest asking for asInvoker")
endif()
message(STATUS "${program}.rc compiles, version ${VERSION}, with its manifest")
