/* The reference for setup.exe's handoff between its stages: the smallest
   launcher that runs the same two command lines one after the other, each
   started and awaited by setup.exe's own runner, so that only the programs
   around it differ. */

#include <windows.h>

#include "benchconfig.h"
#include "runner.h"

/* Writable arrays, not literals: CreateProcessA may write into them. */
static char FIRST_STAGE[] = FIRST_STAGE_COMMAND;
static char SECOND_STAGE[] = SECOND_STAGE_COMMAND;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RunAndWait(FIRST_STAGE);
    RunAndWait(SECOND_STAGE);
    return 0;
}
