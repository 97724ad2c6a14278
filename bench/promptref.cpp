/* The reference for setup.exe's prompt: the smallest program that shows the
   same message box and returns. */

#include <windows.h>

#include "benchconfig.h"

static const char PROMPT_TEXT[] = BENCH_PROMPT_TEXT;
static const char PROMPT_CAPTION[] = BENCH_PROMPT_CAPTION;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MessageBoxA(nullptr, PROMPT_TEXT, PROMPT_CAPTION, MB_YESNO);
    return 0;
}
