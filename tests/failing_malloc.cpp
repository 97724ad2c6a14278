// The allocator of the test build of setup.exe: it fails the allocation
// whose number SETUP_FAIL_ALLOCATION names, counting from 1, and no other.

#include <windows.h>

#include <stdlib.h>

#undef malloc

void *FailingMalloc(size_t size)
{
    static unsigned long made;
    char failing[16] = "";
    GetEnvironmentVariableA("SETUP_FAIL_ALLOCATION", failing, sizeof(failing));
    return ++made == strtoul(failing, nullptr, 10) ? nullptr : malloc(size);
}
