/* The install prompt, made from the first line of setup.inf. Plain byte
   strings only, so that this piece also builds and is fuzzed off Windows. */

#include <stdlib.h>
#include <string.h>

#include "prompt.h"

char *RemoveChar(const char *source, char c)
{
    char *result = static_cast<char *>(malloc(strlen(source) + 1));
    if (!result)
        return nullptr;

    char *out = result;
    for (const char *in = source; *in; ++in)
        if (*in != c)
            *out++ = *in;
    *out = '\0';
    return result;
}

bool ComposePrompt(char (&prompt)[PROMPT_SIZE], const char *line)
{
    char *name = RemoveChar(line, '\n');
    if (!name)
        return false;

    /* The reader never delivers more than PROMPT_NAME_MAX bytes; the bound
       keeps a longer string from any other caller inside the buffer. */
    size_t length = 0;
    while (length < PROMPT_NAME_MAX && name[length])
        ++length;
    char *end = prompt;
    memcpy(end, PROMPT_HEAD, sizeof(PROMPT_HEAD) - 1);
    end += sizeof(PROMPT_HEAD) - 1;
    memcpy(end, name, length);
    end += length;
    memcpy(end, PROMPT_TAIL, sizeof(PROMPT_TAIL));

    free(name);
    return true;
}
