/* setup.exe: asks whether to install the product named in setup.inf and, on
   Yes, runs the two setup stages one after the other. */

#include <stdlib.h>
#include <windows.h>

#include "prompt.h"
#include "runner.h"
#include "setupinf.h"

static const char PROMPT_CAPTION[] = "Install";

/* Writable arrays, not literals: CreateProcessA may write into them. */
static char FIRST_STAGE[] = "VBRun60sp5.exe /Q";
static char SECOND_STAGE[] = "phase2.exe";

/* Setup programs are started from download folders, where anyone may have
   left a DLL named like one of the system's. Where the system can, DLLs that
   are loaded from here on come from its own folder only. The function is
   looked up, not imported, so that setup.exe still starts on systems that
   lack it. DLLs that the system loads before WinMain are beyond its reach. */
static void RestrictDllSearch(void)
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (proc)
        reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void *>(proc))(
            LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();

    char *line = ReadSetupName();
    if (!line)
        return 0;

    /* The second stage runs whatever became of the first. */
    char prompt[PROMPT_SIZE];
    if (ComposePrompt(prompt, line)
        && MessageBoxA(nullptr, prompt, PROMPT_CAPTION, MB_YESNO) == IDYES) {
        RunAndWait(FIRST_STAGE);
        RunAndWait(SECOND_STAGE);
    }

    free(line);
    return 0;
}
