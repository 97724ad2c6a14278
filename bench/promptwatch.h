#ifndef PROMPTWATCH_H
#define PROMPTWATCH_H

#include <windows.h>

/* A program started by the benchmark, and when its prompt was shown. Times
   are system times in 100 ns units. */
struct ProgramRun {
    PROCESS_INFORMATION process;
    unsigned long long startedAt;  /* just before the process was created */
    unsigned long long shownAt;
    HWND box;
};

unsigned long long Now();

/* Prompts of the programs started from here are seen through a WinEvent
   hook; it is set once, before the first of them starts. */
bool WatchPrompts();
void StopWatchingPrompts();

bool StartProgram(const char *imagePath, const char *folder, ProgramRun *run);
bool AwaitPrompt(ProgramRun *run, DWORD timeoutMs);
void AnswerPrompt(const ProgramRun &run, int button);
/* False when the program had to be ended because it ran past timeoutMs. */
bool FinishProgram(ProgramRun *run, DWORD timeoutMs);

#endif
