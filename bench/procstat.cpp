/* CPU time, wake-ups and peak memory of another process. */

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "procstat.h"

/* Wine maps the Linux root to this drive. */
static const char LINUX_PROC[] = "Z:\\proc";
static const DWORD LINUX_FILE_MAX = 4096;
static const size_t TASK_NAME_MAX = 15;
static const ULONG PROCESS_LIST_MAX = 4 * 1024 * 1024;

const char *WineBuild()
{
    typedef const char *(CDECL * BuildIdProc)();
    BuildIdProc buildId = reinterpret_cast<BuildIdProc>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_build_id")));
    return buildId ? buildId() : nullptr;
}

bool IsWine()
{
    return WineBuild() != nullptr;
}

/* Files under /proc report no size, so they are read to their end. */
static DWORD ReadLinuxFile(const char *path, char *buffer, DWORD size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD total = 0, got;
    while (total < size - 1 && ReadFile(file, buffer + total, size - 1 - total, &got, nullptr) && got)
        total += got;
    CloseHandle(file);
    buffer[total] = '\0';
    return total;
}

static bool IsNumber(const char *text)
{
    return *text && strspn(text, "0123456789") == strlen(text);
}

static unsigned long long ReadField(const char *status, const char *key)
{
    const char *at = strstr(status, key);
    return at ? strtoull(at + strlen(key), nullptr, 10) : 0;
}

/* Wine writes the Windows command line over the Linux one, so the process
   started from imagePath is the one whose first argument is that path. Under
   qemu the Linux command line stays qemu's; there only the thread name that
   Wine gives the process, its file name cut to TASK_NAME_MAX, is left. */
static bool FindLinuxPid(const char *imagePath, char *pid, DWORD size)
{
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof(pattern), "%s\\*", LINUX_PROC);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    const char *base = strrchr(imagePath, '\\');
    char taskName[TASK_NAME_MAX + 1];
    lstrcpynA(taskName, base ? base + 1 : imagePath, sizeof(taskName));
    bool matched = false;
    pid[0] = '\0';
    do {
        if (!IsNumber(found.cFileName))
            continue;
        char path[MAX_PATH], text[LINUX_FILE_MAX];
        snprintf(path, sizeof(path), "%s\\%s\\cmdline", LINUX_PROC, found.cFileName);
        matched = ReadLinuxFile(path, text, sizeof(text)) && lstrcmpiA(text, imagePath) == 0;
        snprintf(path, sizeof(path), "%s\\%s\\comm", LINUX_PROC, found.cFileName);
        if (matched || (!pid[0] && ReadLinuxFile(path, text, sizeof(text))
                        && strncmp(text, taskName, strlen(taskName)) == 0 && text[strlen(taskName)] == '\n'))
            lstrcpynA(pid, found.cFileName, size);
    } while (!matched && FindNextFileA(search, &found));
    FindClose(search);
    return pid[0] != '\0';
}

static bool ReadLinuxUsage(const char *imagePath, ProcessUsage *usage)
{
    char pid[32];
    if (!FindLinuxPid(imagePath, pid, sizeof(pid)))
        return false;

    char path[MAX_PATH], text[LINUX_FILE_MAX];
    snprintf(path, sizeof(path), "%s\\%s\\status", LINUX_PROC, pid);
    if (!ReadLinuxFile(path, text, sizeof(text)))
        return false;
    usage->peakKiB = ReadField(text, "VmHWM:");

    /* The counters in a process's own files are its main thread's. */
    snprintf(path, sizeof(path), "%s\\%s\\task\\*", LINUX_PROC, pid);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    unsigned long long runNs = 0;
    do {
        if (!IsNumber(found.cFileName))
            continue;
        snprintf(path, sizeof(path), "%s\\%s\\task\\%s\\schedstat", LINUX_PROC, pid, found.cFileName);
        if (ReadLinuxFile(path, text, sizeof(text)))
            runNs += strtoull(text, nullptr, 10);
        snprintf(path, sizeof(path), "%s\\%s\\task\\%s\\status", LINUX_PROC, pid, found.cFileName);
        if (ReadLinuxFile(path, text, sizeof(text)))
            usage->wakeups += ReadField(text, "voluntary_ctxt_switches:");
    } while (FindNextFileA(search, &found));
    FindClose(search);
    usage->cpuMs = runNs / 1e6;
    return true;
}

/* The system counts every switch to a thread; for a thread that only
   waits, each one is a wake-up. */
static bool ReadContextSwitches(DWORD pid, unsigned long long *switches)
{
    typedef NTSTATUS(NTAPI * QueryProc)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    QueryProc query = reinterpret_cast<QueryProc>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return false;
    BYTE *list = static_cast<BYTE *>(malloc(PROCESS_LIST_MAX));
    bool found = false;
    if (list && query(SystemProcessInformation, list, PROCESS_LIST_MAX, nullptr) >= 0) {
        for (ULONG offset = 0;;) {
            auto entry = reinterpret_cast<SYSTEM_PROCESS_INFORMATION *>(list + offset);
            if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == pid) {
                /* The threads follow their process; the one field the SDK
                   leaves unnamed before ThreadState is ContextSwitches. */
                auto thread = reinterpret_cast<SYSTEM_THREAD_INFORMATION *>(entry + 1);
                *switches = 0;
                for (ULONG i = 0; i < entry->NumberOfThreads; ++i)
                    *switches += thread[i].Reserved3;
                found = true;
                break;
            }
            if (!entry->NextEntryOffset)
                break;
            offset += entry->NextEntryOffset;
        }
    }
    free(list);
    return found;
}

static bool ReadWindowsUsage(HANDLE process, ProcessUsage *usage)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return false;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    usage->cpuMs = (k.QuadPart + u.QuadPart) / 1e4;
    usage->peakKiB = usage->reportedKiB;
    return ReadContextSwitches(GetProcessId(process), &usage->wakeups);
}

bool ReadProcessUsage(HANDLE process, const char *imagePath, ProcessUsage *usage)
{
    *usage = ProcessUsage();
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, &memory, sizeof(memory)))
        usage->reportedKiB = memory.PeakWorkingSetSize / 1024;
    return IsWine() ? ReadLinuxUsage(imagePath, usage) : ReadWindowsUsage(process, usage);
}
