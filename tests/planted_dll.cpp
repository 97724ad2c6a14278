// A DLL left in an install folder under the name of a system DLL. When a
// process loads it, it appends its own path to planted.log in the current
// directory.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char line[MAX_PATH + 2];
    DWORD length = GetModuleFileNameA(instance, line, MAX_PATH);
    line[length++] = '\n';
    HANDLE log = CreateFileA("planted.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(log, line, length, &written, nullptr);
    CloseHandle(log);
    return TRUE;
}
