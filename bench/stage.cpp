/* A setup stage for the benchmark. Copied into the install folder under each
   stage's name, it records when it started and when it was about to exit;
   the time between one stage's exit and the next one's start is the handoff
   of the program that runs them. */

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "benchconfig.h"

static unsigned long long Now()
{
    FILETIME time;
    GetSystemTimePreciseAsFileTime(&time);
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

/* The program's own file name without its extension: the stage's name. */
static void GetStageName(char *name, DWORD size)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    const char *base = strrchr(path, '\\');
    base = base ? base + 1 : path;
    lstrcpynA(name, base, size);
    if (char *dot = strrchr(name, '.'))
        *dot = '\0';
}

static void CreateMarker(const char *name, const char *suffix)
{
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s%s", name, suffix);
    if (FILE *file = fopen(path, "w"))
        fclose(file);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    unsigned long long started = Now();

    char name[MAX_PATH];
    GetStageName(name, sizeof(name));
    char value[16] = "";
    GetEnvironmentVariableA(STAGE_RUN_VARIABLE, value, sizeof(value));
    DWORD runMs = strtoul(value, nullptr, 10);
    if (runMs) {
        CreateMarker(name, STAGE_RUNNING_SUFFIX);
        Sleep(runMs);
    }

    /* The file is written after the time is taken: a stage's exit is
       recorded as early as it can be, and the same way for every launcher. */
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s%s", name, STAGE_TIMES_SUFFIX);
    unsigned long long ending = Now();
    if (FILE *file = fopen(path, "w")) {
        fprintf(file, "%llu %llu\n", started, ending);
        fclose(file);
    }
    return 0;
}
