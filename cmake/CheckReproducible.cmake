cmake_minimum_required(VERSION 3.25)

# Builds setup.exe a second time, from a fresh build tree at another path,
# and fails unless the bytes match the first build's.
#   cmake -DSOURCE=... -DBINARY=... -DEXE=... -P CheckReproducible.cmake
file(REMOVE_RECURSE "${BINARY}")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${BINARY}" -DBUILD_TESTING=OFF
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${BINARY}" --target setup
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${EXE}" "${BINARY}/setup.exe"
                RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "a second build of setup.exe differs from ${EXE}")
endif()
message(STATUS "a second build of setup.exe has the same bytes")
