cmake_minimum_required(VERSION 3.25)

# Fails when the executable imports from a DLL outside the allowed list:
# setup.exe must start on a bare Windows with nothing installed beside it.
#   cmake -DOBJDUMP=... -DEXE=... -DALLOWED="A.dll;B.dll" -P CheckImports.cmake
execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
string(TOLOWER "${ALLOWED}" allowed)
foreach(entry IN LISTS names)
    string(REPLACE "DLL Name: " "" dll "${entry}")
    string(TOLOWER "${dll}" key)
    if(NOT key IN_LIST allowed)
        message(FATAL_ERROR "${EXE} imports ${dll}; allowed are ${ALLOWED}")
    endif()
endforeach()
