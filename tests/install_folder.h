#ifndef INSTALL_FOLDER_H
#define INSTALL_FOLDER_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// How long a test waits for a box to appear or a run to end: generous, as
// each Wine process start may take seconds under emulation.
inline constexpr DWORD RUN_TIMEOUT_MS = 30000;

// The title of the window that the test program, started with the mode word
// "hung-window", shows and then never answers.
inline constexpr char HUNG_WINDOW_TITLE[] = "Hung window probe";

// UTF-16 from the ANSI code page, and UTF-8 from UTF-16.
std::wstring Widen(const std::string &ansi);
std::string Utf8(const std::wstring &text);

// The key=value lines that a fake process recorded in the file; empty when
// there is no such file.
std::map<std::string, std::string> ReadLog(const std::wstring &path);

// Whether the tests run under Wine rather than on Windows, told as Wine's
// own tests tell it: ntdll exports Wine's version. Empty on Windows.
std::string WineVersion();

// Tests that rest on a mechanism only Wine has skip themselves elsewhere,
// and say why.
#define SKIP_UNLESS_WINE(mechanism) \
    if (WineVersion().empty()) \
        GTEST_SKIP() << "skipped: not running under Wine, and this rests on " << (mechanism)

// A time that a fake process recorded (start=, end=), in the system's 100 ns
// ticks, for ordering what they did.
unsigned long long Ticks(const std::string &value);

// The folder of the running test program, where the build puts setup.exe
// and fakestage.exe beside it.
std::string BuildFolder();

// A fresh folder that is removed, with every fake process recorded in it,
// when the test ends.
class InstallFolder {
public:
    InstallFolder();
    ~InstallFolder();
    InstallFolder(const InstallFolder &) = delete;
    InstallFolder &operator=(const InstallFolder &) = delete;

    const std::string &Path() const { return path_; }
    std::string PathOf(const std::string &name) const { return path_ + "\\" + name; }
    void Write(const std::string &name, const std::string &bytes) const;
    // setup.exe from the build folder, or the file given.
    void AddSetup(const std::string &source = "") const;
    void AddStage(const std::string &name) const;

    // What the fake process of that name recorded, key by key; empty when
    // it never ran.
    std::map<std::string, std::string> Log(const std::string &name) const;

private:
    std::string path_;
};

// A message box as another process shows it, read through its controls.
struct MessageBoxView {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::wstring wideText;  // the same, as the system holds it
    std::vector<int> buttons;  // the visible push buttons, by identifier
    int defaultButton = 0;  // the one drawn as the default push button
    bool icon = false;
    bool owned = false;
};

// Waits up to timeoutMs for a top-level dialog of the process and reads it.
bool FindMessageBox(DWORD pid, DWORD timeoutMs, MessageBoxView *view);

// setup.exe, started from the folder and with it as the current directory;
// or from the command line given, in the directory given.
class SetupRun {
public:
    // environment: NAME=VALUE pairs that add to or replace the test's own.
    SetupRun(const InstallFolder &folder, const std::string &arguments = "",
             const std::vector<std::string> &environment = {});
    SetupRun(const std::string &commandLine, const std::string &directory,
             const std::vector<std::string> &environment = {});
    // For paths that the ANSI code page cannot represent; the test's own
    // environment.
    SetupRun(const std::wstring &commandLine, const std::wstring &directory);
    ~SetupRun();
    SetupRun(const SetupRun &) = delete;
    SetupRun &operator=(const SetupRun &) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    DWORD Pid() const { return process_.dwProcessId; }
    // False too when setup.exe could not be started.
    bool FindBox(MessageBoxView *view, DWORD timeoutMs = RUN_TIMEOUT_MS) const;
    void Answer(const MessageBoxView &view, int button) const;
    // True once the process has ended within timeoutMs; its exit code then
    // goes to *status.
    bool Wait(DWORD timeoutMs, DWORD *status) const;
    void Terminate() const;

private:
    void ReportStartFailure(const std::string &commandLine);
    PROCESS_INFORMATION process_ = {};
};

// The run ends, within the time any run needs, with exit status 0.
void ExpectEndsWithStatusZero(const SetupRun &run);

// Counts the cases of a table, and those that raised no failure, and
// prints both when the table is done:
//   for (...) { CaseTally::Case tried(tally); ... }
class CaseTally {
public:
    explicit CaseTally(const char *group) : group_(group) {}
    ~CaseTally();

    class Case {
    public:
        explicit Case(CaseTally &tally);
        ~Case();

    private:
        CaseTally &tally_;
        int failuresBefore_;
    };

private:
    const char *group_;
    int tried_ = 0;
    int behaved_ = 0;
};

#endif
