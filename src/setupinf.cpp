/* Reads the product name from the first line of setup.inf in the current
   directory. */

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "setupinf.h"

static const char SETUP_FILE[] = "setup.inf";
static const char OPEN_FAILED_TEXT[] = "Cannot open setup.inf";
static const char OPEN_FAILED_CAPTION[] = "Cannot install";

char *ReadSetupName(void)
{
    char *line = static_cast<char *>(malloc(SETUP_LINE_SIZE));
    if (!line)
        return nullptr;

    /* Text mode: CR LF reads as LF and the byte 0x1A ends the text. The run-time
       opens the file shared for reading and writing but not for deletion, with
       an inheritable handle. It stays open for the whole run, so that the file
       cannot be deleted or renamed while the stages run, and they inherit it. */
    FILE *file = fopen(SETUP_FILE, "rt");
    if (!file) {
        MessageBoxA(nullptr, OPEN_FAILED_TEXT, OPEN_FAILED_CAPTION, MB_OK);
        free(line);
        return nullptr;
    }

    /* fgets stores nothing, not even the NUL, when the text is empty. */
    if (!fgets(line, SETUP_LINE_SIZE, file))
        line[0] = '\0';
    return line;
}
