// RemoveChar on any string and any character: the result holds exactly the
// other bytes, in order.

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "prompt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    char c = static_cast<char>(data[0]);
    std::string source(reinterpret_cast<const char *>(data + 1), size - 1);

    char *result = RemoveChar(source.c_str(), c);
    if (!result)
        abort();
    std::string expected;
    for (char byte : source) {
        if (byte == '\0')
            break;
        if (byte != c)
            expected += byte;
    }
    if (expected != result)
        abort();
    free(result);
    return 0;
}
