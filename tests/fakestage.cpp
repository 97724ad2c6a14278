// Stands in for a setup stage. Copied into an install folder under a stage's
// name, it appends what it saw to <name>.log in its current directory, or in
// the folder FAKESTAGE_LOGDIR names when set (a stage run from a read-only
// disc has nowhere else to write), as key=value lines, and then does what
// FAKESTAGE_<name> in its environment says:
//   (unset)   exit with status 0 after a short pause
//   exit:N    exit with status N after the same pause
//   hang      never end
//   spawn     start a copy of itself that lingers, and exit as soon as
//             that copy has written its log
//   crash     write through a null pointer
//   broadcast tell every top-level window that a setting changed, as an
//             installer does after changing PATH, and wait for the answers:
//             first with a time-out longer than any test waits, then
//             without one
// Started with the arguments "linger PID", it logs as linger.log, tells the
// process PID that it has, and sleeps for a minute.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

static const DWORD PAUSE_MS = 300;
static const DWORD LINGER_MS = 60 * 1000;
// How long a stage that hands off waits for the copy it started to log.
static const DWORD ANNOUNCE_TIMEOUT_MS = 30 * 1000;

// Longer than a test waits for a run: a window that holds the broadcast up
// fails the test rather than passing after the time-out.
static const UINT BROADCAST_TIMEOUT_MS = 120 * 1000;
static const char SETTING_CHANGED[] = "Environment";

static FILE *logFile;
// Where the logs are: empty for the current directory, else a folder and a
// backslash.
static std::string logFolder;

static void Record(const char *key, const std::string &value)
{
    fprintf(logFile, "%s=%s\n", key, value.c_str());
    fflush(logFile);
}

// The precise clock where the system has one (Windows 8 on); Windows 7's
// ticks in steps of about 15 ms, which still orders what it records.
static std::string Now()
{
    typedef VOID(WINAPI * GetTimeProc)(LPFILETIME);
    static GetTimeProc getTime = [] {
        FARPROC precise = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime");
        return precise ? reinterpret_cast<GetTimeProc>(reinterpret_cast<void *>(precise))
                       : GetSystemTimeAsFileTime;
    }();
    FILETIME time;
    getTime(&time);
    ULARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    return std::to_string(ticks.QuadPart);
}

static bool SameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION x, y;
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y)
        && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber
        && x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// An inherited handle arrives under the value it had in the parent, which
// the child is not told: look through the small handle values for one that
// refers to setup.inf.
static bool HoldsSetupInf()
{
    HANDLE own = CreateFileA("setup.inf", FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (own == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    for (UINT_PTR value = 4; value < 0x4000 && !found; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        found = handle != own && GetFileType(handle) == FILE_TYPE_DISK && SameFile(handle, own);
    }
    CloseHandle(own);
    return found;
}

static bool IsRunning(DWORD pid)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return false;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// The names of the other fake processes in this folder that are still alive.
static std::string OthersRunning(const std::string &self)
{
    std::string names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((logFolder + "*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name(found.cFileName, strlen(found.cFileName) - 4);
        if (name == self)
            continue;
        FILE *other = fopen((logFolder + found.cFileName).c_str(), "r");
        char line[512];
        DWORD pid = 0;
        while (other && fgets(line, sizeof(line), other))
            if (strncmp(line, "pid=", 4) == 0)
                pid = strtoul(line + 4, nullptr, 10);
        if (other)
            fclose(other);
        if (pid && IsRunning(pid))
            names += (names.empty() ? "" : ",") + name;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

static std::string Utf8(const wchar_t *text)
{
    char bytes[4 * MAX_PATH];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
    return std::string(bytes, length > 0 ? length - 1 : 0);
}

// The current directory and the program's path as the system holds them,
// in UTF-8: the ANSI forms lose what the code page cannot represent.
static std::string WideCurrentDirectory()
{
    wchar_t directory[MAX_PATH];
    GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    return Utf8(directory);
}

static std::string WideModulePath()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    return Utf8(path);
}

static void Broadcast()
{
    DWORD_PTR answer;
    LPARAM setting = reinterpret_cast<LPARAM>(SETTING_CHANGED);
    Record("broadcast_with_timeout",
           SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, setting, SMTO_NORMAL,
                               BROADCAST_TIMEOUT_MS, &answer) ? "answered" : "failed");
    SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, setting);
    Record("broadcast", "answered");
}

static std::string ModulePath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return path;
}

static std::string ModuleName()
{
    std::string path = ModulePath();
    std::string name = path.substr(path.rfind('\\') + 1);
    return name.substr(0, name.rfind('.'));
}

// Set by the lingering copy once its log is written, so that whoever looks
// for it after this stage has ended finds it.
static std::string AnnouncedEventName(DWORD spawnerPid)
{
    return "fakestage-linger-" + std::to_string(spawnerPid);
}

static DWORD Spawn()
{
    HANDLE announced = CreateEventA(nullptr, TRUE, FALSE,
                                    AnnouncedEventName(GetCurrentProcessId()).c_str());
    std::string command = "\"" + ModulePath() + "\" linger " + std::to_string(GetCurrentProcessId());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!announced
        || !CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &process))
        return 0;
    HANDLE waits[] = {announced, process.hProcess};
    DWORD woken = WaitForMultipleObjects(ARRAYSIZE(waits), waits, FALSE, ANNOUNCE_TIMEOUT_MS);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(announced);
    return woken == WAIT_OBJECT_0 ? process.dwProcessId : 0;
}

static void Announce(DWORD spawnerPid)
{
    HANDLE announced = OpenEventA(EVENT_MODIFY_STATE, FALSE, AnnouncedEventName(spawnerPid).c_str());
    if (announced) {
        SetEvent(announced);
        CloseHandle(announced);
    }
}

int main(int argc, char **argv)
{
    bool linger = argc == 3 && strcmp(argv[1], "linger") == 0;
    std::string name = linger ? "linger" : ModuleName();
    char folder[MAX_PATH];
    DWORD folderLength = GetEnvironmentVariableA("FAKESTAGE_LOGDIR", folder, sizeof(folder));
    if (folderLength > 0 && folderLength < sizeof(folder))
        logFolder = std::string(folder) + "\\";
    logFile = fopen((logFolder + name + ".log").c_str(), "a");
    if (!logFile)
        return 99;

    char directory[MAX_PATH];
    GetCurrentDirectoryA(sizeof(directory), directory);
    Record("start", Now());
    Record("pid", std::to_string(GetCurrentProcessId()));
    Record("cmdline", GetCommandLineA());
    Record("image", ModulePath());
    Record("cwd", directory);
    Record("cwd_utf8", WideCurrentDirectory());
    Record("image_utf8", WideModulePath());
    Record("inherits_setup_inf", HoldsSetupInf() ? "1" : "0");
    Record("running", OthersRunning(name));

    if (linger) {
        Announce(strtoul(argv[2], nullptr, 10));
        Sleep(LINGER_MS);
        return 0;
    }

    char mode[64] = "";
    GetEnvironmentVariableA(("FAKESTAGE_" + name).c_str(), mode, sizeof(mode));
    int status = 0;
    if (strcmp(mode, "hang") == 0) {
        for (;;)
            Sleep(INFINITE);
    } else if (strcmp(mode, "crash") == 0) {
        Record("end", Now());
        // Windows would otherwise hold the crashed stage in a dialog.
        SetErrorMode(SEM_NOGPFAULTERRORBOX);
        *static_cast<volatile int *>(nullptr) = 0;
    } else if (strcmp(mode, "broadcast") == 0) {
        Broadcast();
    } else if (strcmp(mode, "spawn") == 0) {
        Record("spawned", std::to_string(Spawn()));
    } else {
        if (strncmp(mode, "exit:", 5) == 0)
            status = atoi(mode + 5);
        Sleep(PAUSE_MS);
    }
    Record("end", Now());
    return status;
}
