#ifndef PROMPT_H
#define PROMPT_H

#include <stddef.h>
#include "setupinf.h"

inline constexpr char PROMPT_HEAD[] = "Do you wish to install ";
inline constexpr char PROMPT_TAIL[] = "?";

/* Room for the head, the longest name the reader can deliver, the tail and
   the NUL: every name is shown whole. */
inline constexpr size_t PROMPT_NAME_MAX = SETUP_LINE_SIZE - 1;
inline constexpr size_t PROMPT_SIZE =
    sizeof(PROMPT_HEAD) - 1 + PROMPT_NAME_MAX + sizeof(PROMPT_TAIL);

char *RemoveChar(const char *source, char c);
bool ComposePrompt(char (&prompt)[PROMPT_SIZE], const char *line);

#endif
