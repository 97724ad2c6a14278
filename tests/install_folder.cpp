#include "install_folder.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

std::string WineVersion()
{
    typedef const char *(CDECL * WineGetVersionProc)(void);
    FARPROC proc = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");
    return proc ? reinterpret_cast<WineGetVersionProc>(reinterpret_cast<void *>(proc))() : "";
}

std::string BuildFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    *strrchr(path, '\\') = '\0';
    return path;
}

InstallFolder::InstallFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    static unsigned serial;
    for (;;) {
        path_ = std::string(temp) + "setup-test-" + std::to_string(GetCurrentProcessId())
              + "-" + std::to_string(++serial);
        if (CreateDirectoryA(path_.c_str(), nullptr))
            break;
    }
}

std::wstring Widen(const std::string &ansi)
{
    wchar_t text[4 * MAX_PATH];
    int length = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, text, ARRAYSIZE(text));
    return std::wstring(text, length > 0 ? length - 1 : 0);
}

std::string Utf8(const std::wstring &text)
{
    char bytes[16 * MAX_PATH];
    int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes, sizeof(bytes), nullptr, nullptr);
    return std::string(bytes, length > 0 ? length - 1 : 0);
}

// Wide, so that it also removes what a test named outside the code page.
static void RemoveTree(const std::wstring &path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

InstallFolder::~InstallFolder()
{
    // Stages left hanging or lingering by a test, or by a failed one.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(PathOf("*.log").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name(found.cFileName, strlen(found.cFileName) - 4);
            DWORD pid = strtoul(Log(name)["pid"].c_str(), nullptr, 10);
            HANDLE process = pid ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid) : nullptr;
            if (process) {
                TerminateProcess(process, 1);
                WaitForSingleObject(process, 10000);
                CloseHandle(process);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveTree(Widen(path_));
}

void InstallFolder::Write(const std::string &name, const std::string &bytes) const
{
    FILE *file = fopen(PathOf(name).c_str(), "wb");
    if (file) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
}

void InstallFolder::AddSetup(const std::string &source) const
{
    std::string from = source.empty() ? BuildFolder() + "\\setup.exe" : source;
    CopyFileA(from.c_str(), PathOf("setup.exe").c_str(), FALSE);
}

void InstallFolder::AddStage(const std::string &name) const
{
    CopyFileA((BuildFolder() + "\\fakestage.exe").c_str(), PathOf(name).c_str(), FALSE);
}

std::map<std::string, std::string> ReadLog(const std::wstring &path)
{
    std::map<std::string, std::string> values;
    FILE *file = _wfopen(path.c_str(), L"r");
    if (!file)
        return values;
    char line[1024];
    while (fgets(line, sizeof(line), file)) {
        line[strcspn(line, "\n")] = '\0';
        if (char *equals = strchr(line, '='))
            values[std::string(line, equals)] = equals + 1;
    }
    fclose(file);
    return values;
}

unsigned long long Ticks(const std::string &value)
{
    return strtoull(value.c_str(), nullptr, 10);
}

std::map<std::string, std::string> InstallFolder::Log(const std::string &name) const
{
    return ReadLog(Widen(PathOf(name + ".log")));
}

static std::string TextOf(HWND window)
{
    char text[1024] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &length);
    return std::string(text, length);
}

static std::wstring WideTextOf(HWND window)
{
    wchar_t text[1024] = L"";
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &length);
    return std::wstring(text, length);
}

static std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

struct Search {
    DWORD pid;
    HWND found;
};

static BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    Search *search = reinterpret_cast<Search *>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && ClassOf(window) == "#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK ReadControl(HWND control, LPARAM param)
{
    MessageBoxView *view = reinterpret_cast<MessageBoxView *>(param);
    if (!IsWindowVisible(control))
        return TRUE;
    LONG style = GetWindowLongA(control, GWL_STYLE);
    std::string kind = ClassOf(control);
    if (kind == "Button") {
        view->buttons.push_back(GetDlgCtrlID(control));
        if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            view->defaultButton = GetDlgCtrlID(control);
    }
    else if (kind == "Static" && (style & SS_TYPEMASK) == SS_ICON)
        view->icon = view->icon || SendMessageA(control, STM_GETICON, 0, 0) != 0;
    return TRUE;
}

bool FindMessageBox(DWORD pid, DWORD timeoutMs, MessageBoxView *view)
{
    Search search = {pid, nullptr};
    for (DWORD waited = 0; ; waited += 50) {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found || waited >= timeoutMs)
            break;
        Sleep(50);
    }
    if (!search.found)
        return false;

    *view = MessageBoxView();
    view->window = search.found;
    view->caption = TextOf(search.found);
    view->text = TextOf(GetDlgItem(search.found, 0xFFFF));
    view->wideText = WideTextOf(GetDlgItem(search.found, 0xFFFF));
    EnumChildWindows(search.found, ReadControl, reinterpret_cast<LPARAM>(view));
    view->owned = GetWindow(search.found, GW_OWNER) != nullptr;
    return true;
}

// What CreateProcess says, with User Account Control on, of a program that
// asks for elevation (as one named setup.exe does); the headers lack it.
static const DWORD ELEVATION_REQUIRED = 740;

void SetupRun::ReportStartFailure(const std::string &commandLine)
{
    DWORD error = GetLastError();
    process_ = {};
    ADD_FAILURE() << "cannot start " << commandLine << ": error " << error
                  << (error == ELEVATION_REQUIRED
                      ? " (Windows takes it for an installer: run the tests as administrator)" : "");
}

SetupRun::SetupRun(const InstallFolder &folder, const std::string &arguments,
                   const std::vector<std::string> &environment)
    : SetupRun("\"" + folder.PathOf("setup.exe") + "\"" + (arguments.empty() ? "" : " " + arguments),
               folder.Path(), environment)
{
}

SetupRun::SetupRun(const std::string &commandLine, const std::string &directory,
                   const std::vector<std::string> &environment)
{
    // The test's own environment, less the variables given here.
    auto overridden = [&](const char *entry) {
        for (const std::string &pair : environment) {
            size_t name = pair.find('=') + 1;
            if (_strnicmp(entry, pair.c_str(), name) == 0)
                return true;
        }
        return false;
    };
    std::string block;
    char *strings = GetEnvironmentStringsA();
    for (const char *entry = strings; *entry; entry += strlen(entry) + 1)
        if (!overridden(entry))
            block.append(entry, strlen(entry) + 1);
    FreeEnvironmentStringsA(strings);
    for (const std::string &pair : environment)
        block.append(pair.c_str(), pair.size() + 1);
    block += '\0';

    std::string command = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, &block[0],
                        directory.c_str(), &startup, &process_))
        ReportStartFailure(commandLine);
}

SetupRun::SetupRun(const std::wstring &commandLine, const std::wstring &directory)
{
    std::wstring command = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &process_))
        ReportStartFailure(Utf8(commandLine));
}

SetupRun::~SetupRun()
{
    if (!Started())
        return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

bool SetupRun::FindBox(MessageBoxView *view, DWORD timeoutMs) const
{
    return Started() && FindMessageBox(Pid(), timeoutMs, view);
}

void SetupRun::Answer(const MessageBoxView &view, int button) const
{
    PostMessageA(view.window, WM_COMMAND, button, 0);
}

bool SetupRun::Wait(DWORD timeoutMs, DWORD *status) const
{
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(process_.hProcess, status);
    return true;
}

void SetupRun::Terminate() const
{
    if (Started() && TerminateProcess(process_.hProcess, 1))
        WaitForSingleObject(process_.hProcess, RUN_TIMEOUT_MS);
}

void ExpectEndsWithStatusZero(const SetupRun &run)
{
    DWORD status = 1;
    EXPECT_TRUE(run.Wait(RUN_TIMEOUT_MS, &status)) << "setup.exe did not end";
    EXPECT_EQ(status, 0u);
}

static int FailuresSoFar()
{
    return testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

CaseTally::Case::Case(CaseTally &tally) : tally_(tally), failuresBefore_(FailuresSoFar())
{
}

CaseTally::Case::~Case()
{
    ++tally_.tried_;
    if (FailuresSoFar() == failuresBefore_)
        ++tally_.behaved_;
}

CaseTally::~CaseTally()
{
    printf("%s: %d tried, %d behaved\n", group_, tried_, behaved_);
    fflush(stdout);
}
