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

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
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
