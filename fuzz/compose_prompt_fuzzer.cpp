// The prompt from any line: head, the line without its line feeds and cut
// to the longest name the reader delivers, tail; never past the buffer.

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "prompt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string line(reinterpret_cast<const char *>(data), size);

    // A heap copy of exactly the prompt's size, so that AddressSanitizer
    // sees any write past its end.
    auto prompt = static_cast<char(*)[PROMPT_SIZE]>(malloc(PROMPT_SIZE));
    if (!ComposePrompt(*prompt, line.c_str()))
        abort();

    std::string name;
    for (char byte : line) {
        if (byte == '\0')
            break;
        if (byte != '\n')
            name += byte;
    }
    std::string expected = PROMPT_HEAD + name.substr(0, PROMPT_NAME_MAX) + PROMPT_TAIL;
    if (expected != *prompt)
        abort();
    free(prompt);
    return 0;
}
