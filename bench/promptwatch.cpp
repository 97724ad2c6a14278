/* Starts a program and sees its message box appear. A WinEvent hook outside
   the program's process is told when each of its windows is created and
   shown, with nothing loaded into the program. Wine reports the creation
   but not the showing: there the new dialog is watched until it is visible. */

#include <windows.h>

#include <string.h>

#include "promptwatch.h"

static const char DIALOG_CLASS[] = "#32770";
/* How often a created dialog is looked at until it is shown, where the
   system does not say. */
static const DWORD VISIBLE_POLL_MS = 1;

static HWINEVENTHOOK hook;
static ProgramRun *watched;

unsigned long long Now()
{
    FILETIME time;
    GetSystemTimePreciseAsFileTime(&time);
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

static void CALLBACK OnObjectEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object,
                                   LONG child, DWORD, DWORD)
{
    unsigned long long now = Now();
    if (!watched || watched->shownAt || object != OBJID_WINDOW || child != CHILDID_SELF)
        return;
    if (watched->box && window == watched->box) {
        if (event == EVENT_OBJECT_SHOW)
            watched->shownAt = now;
        return;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char name[sizeof(DIALOG_CLASS) + 1] = "";
    GetClassNameA(window, name, sizeof(name));
    if (pid == watched->process.dwProcessId && strcmp(name, DIALOG_CLASS) == 0) {
        watched->box = window;
        if (event == EVENT_OBJECT_SHOW)
            watched->shownAt = now;
    }
}

bool WatchPrompts()
{
    hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, OnObjectEvent, 0, 0,
                           WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    return hook != nullptr;
}

void StopWatchingPrompts()
{
    UnhookWinEvent(hook);
}

bool StartProgram(const char *imagePath, const char *folder, ProgramRun *run)
{
    *run = ProgramRun();
    char command[MAX_PATH + 2];
    lstrcpyA(command, "\"");
    lstrcatA(command, imagePath);
    lstrcatA(command, "\"");
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    run->startedAt = Now();
    return CreateProcessA(imagePath, command, nullptr, nullptr, FALSE, 0, nullptr, folder,
                          &startup, &run->process);
}

bool AwaitPrompt(ProgramRun *run, DWORD timeoutMs)
{
    watched = run;
    DWORD started = GetTickCount();
    while (!run->shownAt && GetTickCount() - started < timeoutMs) {
        /* The hook's events arrive as messages to this thread. */
        DWORD woke = MsgWaitForMultipleObjects(1, &run->process.hProcess, FALSE,
                                               run->box ? VISIBLE_POLL_MS : timeoutMs, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        if (run->box && !run->shownAt && IsWindowVisible(run->box))
            run->shownAt = Now();
        if (woke == WAIT_OBJECT_0 && !run->shownAt)
            break;
    }
    watched = nullptr;
    return run->shownAt != 0;
}

void AnswerPrompt(const ProgramRun &run, int button)
{
    PostMessageA(run.box, WM_COMMAND, button, 0);
}

bool FinishProgram(ProgramRun *run, DWORD timeoutMs)
{
    bool ended = WaitForSingleObject(run->process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(run->process.hProcess, 1);
        WaitForSingleObject(run->process.hProcess, timeoutMs);
    }
    CloseHandle(run->process.hThread);
    CloseHandle(run->process.hProcess);
    run->process = PROCESS_INFORMATION();
    return ended;
}
