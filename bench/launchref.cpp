/* The reference for setup.exe's handoff between its stages: the smallest
   launcher that runs the same two command lines one after the other, each
   started with CreateProcessA and awaited without a time-out. */

#include <windows.h>

#include "benchconfig.h"

/* Writable arrays, not literals: CreateProcessA may write into them. */
static char FIRST_STAGE[] = FIRST_STAGE_COMMAND;
static char SECOND_STAGE[] = SECOND_STAGE_COMMAND;

/* Started as setup.exe starts its stages, so that only the programs differ. */
static void RunAndWait(char *commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RunAndWait(FIRST_STAGE);
    RunAndWait(SECOND_STAGE);
    return 0;
}
