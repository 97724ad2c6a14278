cmake_minimum_required(VERSION 3.25)

# Prints what the executable imports, DLL by DLL, and fails when a DLL is
# outside the allowed list: setup.exe must start on a bare Windows with
# nothing installed beside it.
#   cmake -DOBJDUMP=... -DEXE=... -DALLOWED="A.dll;B.dll" -P CheckImports.cmake
execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump
                COMMAND_ERROR_IS_FATAL ANY)
string(TOLOWER "${ALLOWED}" allowed)
# objdump lists each DLL's functions under its name, up to a blank line.
string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]*\n([^\n]+\n)*" blocks "${dump}")
foreach(block IN LISTS blocks)
    string(REGEX MATCH "DLL Name: ([^\n]+)" _ "${block}")
    set(dll "${CMAKE_MATCH_1}")
    string(REGEX MATCHALL "\t[0-9a-f]+\t +[0-9]+  [A-Za-z_][A-Za-z0-9_]*" entries "${block}")
    list(TRANSFORM entries REPLACE ".* " "")
    list(JOIN entries " " functions)
    message(STATUS "imports from ${dll}: ${functions}")
    string(TOLOWER "${dll}" key)
    if(NOT key IN_LIST allowed)
        message(FATAL_ERROR "${EXE} imports ${dll}; allowed are ${ALLOWED}")
    endif()
endforeach()
if(NOT blocks)
    message(FATAL_ERROR "no imports found in ${EXE}")
endif()
