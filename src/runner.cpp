/* Runs one setup stage to its end. */

#include <windows.h>

#include "runner.h"

void RunAndWait(char *commandLine)
{
    /* With no application name the system takes the program from the first
       token of the command line and searches for it: the folder of setup.exe
       first, then the current directory, then the system folders and PATH. */
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process))
        return;

    /* Only this process is awaited: a stage that hands off to another
       process and exits releases the bootstrapper at once. */
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
