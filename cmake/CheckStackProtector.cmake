cmake_minimum_required(VERSION 3.25)

# Checks, in the linked setup.exe, that the functions with buffers on their
# stack check the stack protector's guard before they return, and that the
# run-time seeds the guard before WinMain. The image is stripped; the
# linker's map gives the addresses.
#   cmake -DOBJDUMP=... -DEXE=... -DMAP=... -DFUNCTIONS="WinMain@16;..." -P CheckStackProtector.cmake
file(READ "${MAP}" map)
function(address_of symbol out)
    string(REGEX MATCH "\n +0x0*([0-9a-f]+) +${symbol}\n" _ "${map}")
    if(NOT CMAKE_MATCH_1)
        message(FATAL_ERROR "${symbol} is not in ${MAP}")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()
address_of("__stack_chk_guard" guard)
address_of("__stack_chk_fail" fail)

execute_process(COMMAND "${OBJDUMP}" -d --no-show-raw-insn "${EXE}" OUTPUT_VARIABLE code
                COMMAND_ERROR_IS_FATAL ANY)
foreach(function IN LISTS FUNCTIONS)
    string(REGEX REPLACE "([()*])" "\\\\\\1" pattern "${function}")
    address_of("${pattern}" start)
    # The function's code runs from its address to the next return.
    string(FIND "${code}" "\n  ${start}:" from)
    if(from EQUAL -1)
        message(FATAL_ERROR "no code at ${start} for ${function}")
    endif()
    string(SUBSTRING "${code}" ${from} -1 body)
    string(FIND "${body}" "\tret" end)
    string(SUBSTRING "${body}" 0 ${end} body)
    if(NOT body MATCHES "0x${guard}[,\n]" OR NOT body MATCHES "call +0x${fail}\n")
        message(FATAL_ERROR "${function} does not check the stack guard at 0x${guard}")
    endif()
    message(STATUS "${function} checks the stack guard")
endforeach()

# The constructor list (__CTOR_LIST__: -1, the constructors, 0) must hold
# the seeding function.
string(REGEX MATCH "\n \\.text\\.startup\\._ZL14SeedStackGuardv\n +0x0*([0-9a-f]+)" _ "${map}")
set(seed "${CMAKE_MATCH_1}")
string(REGEX MATCH "\n \\.ctors +0x0*([0-9a-f]+) +0x4 [^\n]*stackguard" _ "${map}")
set(entry "${CMAKE_MATCH_1}")
if(NOT seed OR NOT entry)
    message(FATAL_ERROR "the guard's seeding function is not among the constructors")
endif()
math(EXPR stop "0x${entry} + 4" OUTPUT_FORMAT HEXADECIMAL)
execute_process(COMMAND "${OBJDUMP}" -s --start-address=0x${entry} --stop-address=${stop} "${EXE}"
                OUTPUT_VARIABLE words COMMAND_ERROR_IS_FATAL ANY)
# objdump shows the little-endian word byte by byte.
string(REGEX MATCH " ${entry} (..)(..)(..)(..) " _ "${words}")
string(REGEX REPLACE "^0+" "" listed "${CMAKE_MATCH_4}${CMAKE_MATCH_3}${CMAKE_MATCH_2}${CMAKE_MATCH_1}")
if(NOT listed STREQUAL seed)
    message(FATAL_ERROR "the constructor at 0x${entry} is 0x${listed}, not the guard's seeding function at 0x${seed}")
endif()
message(STATUS "the run-time seeds the stack guard before WinMain")
