// setup.exe against what a download folder or a disc may hold: hostile
// setup.inf files, broken stages, a current directory that is not its own
// folder, and a DLL planted beside it. Whatever it meets, it shows the right
// box, never crashes, runs nothing on a failure path, and ends with status 0.

#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "install_folder.h"

namespace {

const char HEAD[] = "Do you wish to install ";

enum class Box { Prompt, Failure };
// Folder: setup.inf is a folder. OpenWithoutSharing: another process holds
// it open and shares nothing. Unreadable: it opens, but every read fails, as
// on a scratched disc; the build makes one in a folder of its own, as a
// link to a Linux file whose reads fail with an I/O error.
enum class Hold { None, Folder, OpenWithoutSharing, Unreadable };

struct HostileFile {
    const char *what;
    std::string bytes;
    Hold hold;
    Box box;
    std::string name;  // the name the prompt shows, when it can be told
    bool nameKnown;
};

std::string Garbage(size_t size)
{
    std::string bytes;
    unsigned state = 12345;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245 + 12345;
        bytes += static_cast<char>(state >> 16);
    }
    return bytes;
}

const HostileFile HOSTILE_FILES[] = {
    {"binary garbage", Garbage(4096), Hold::None, Box::Prompt, "", false},
    {"a single line of 1 MB", std::string(1 << 20, 'M'), Hold::None, Box::Prompt,
     std::string(254, 'M'), true},
    {"UTF-8 byte order mark", "\xEF\xBB\xBF" "Acme\r\n", Hold::None, Box::Prompt,
     "\xEF\xBB\xBF" "Acme", true},
    {"UTF-16 with byte order mark", std::string("\xFF\xFE" "A\0c\0m\0e\0\r\0\n\0", 12),
     Hold::None, Box::Prompt, "\xFF\xFE" "A", true},
    {"setup.inf is a folder", "", Hold::Folder, Box::Failure, "", false},
    {"held open without sharing", "Acme\r\n", Hold::OpenWithoutSharing, Box::Failure, "", false},
    {"opens but cannot be read", "", Hold::Unreadable, Box::Prompt, "", true},
};

// What another process does to setup.inf while setup.exe runs.
class Holder {
public:
    Holder(const InstallFolder &folder, const HostileFile &file)
    {
        std::string path = folder.PathOf("setup.inf");
        if (file.hold == Hold::Folder) {
            CreateDirectoryA(path.c_str(), nullptr);
            return;
        }
        if (file.hold == Hold::Unreadable)
            return;
        folder.Write("setup.inf", file.bytes);
        if (file.hold == Hold::OpenWithoutSharing) {
            handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
            EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
        }
    }
    ~Holder()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(HostileTest, SetupInfFiles)
{
    CaseTally tally("hostile setup.inf files");
    for (const HostileFile &file : HOSTILE_FILES) {
        if (file.hold == Hold::Unreadable && WineVersion().empty()) {
            printf("skipped \"%s\": not running under Wine, and the file whose reads fail "
                   "is a Linux file that Wine opens\n", file.what);
            continue;
        }
        CaseTally::Case tried(tally);
        SCOPED_TRACE(file.what);
        InstallFolder folder;
        folder.AddSetup();
        folder.AddStage("VBRun60sp5.exe");
        folder.AddStage("phase2.exe");
        Holder holder(folder, file);

        std::string directory = file.hold == Hold::Unreadable
            ? BuildFolder() + "\\unreadable" : folder.Path();
        SetupRun run("\"" + folder.PathOf("setup.exe") + "\"", directory);
        MessageBoxView box;
        ASSERT_TRUE(run.FindBox(&box));
        if (file.box == Box::Failure) {
            EXPECT_EQ(box.caption, "Cannot install");
            EXPECT_EQ(box.text, "Cannot open setup.inf");
            run.Answer(box, IDOK);
        } else {
            EXPECT_EQ(box.caption, "Install");
            EXPECT_EQ(box.text.compare(0, sizeof(HEAD) - 1, HEAD), 0) << box.text;
            EXPECT_EQ(box.text.back(), '?');
            EXPECT_LE(box.text.size(), sizeof(HEAD) - 1 + 254 + 1);
            if (file.nameKnown) {
                EXPECT_EQ(box.text, HEAD + file.name + "?");
            }
            run.Answer(box, IDNO);
        }
        ExpectEndsWithStatusZero(run);
        EXPECT_TRUE(folder.Log("VBRun60sp5").empty());
        EXPECT_TRUE(folder.Log("phase2").empty());
    }
}

// The test build of setup.exe, whose own allocations fail when told to: it
// shows nothing and runs nothing when it cannot have its memory, and still
// ends with status 0. A box that was shown would keep it from ending.
TEST(HostileTest, AllocationFailures)
{
    struct {
        const char *what;
        const char *failing;
        bool prompt;
    } cases[] = {
        {"the line buffer", "1", false},
        {"the copy without line feeds", "2", false},
        {"no allocation of its own after those", "3", true},
    };
    CaseTally tally("allocation failures");
    for (const auto &c : cases) {
        CaseTally::Case tried(tally);
        SCOPED_TRACE(c.what);
        InstallFolder folder;
        CopyFileA((BuildFolder() + "\\setup_allocfail.exe").c_str(), folder.PathOf("setup.exe").c_str(), FALSE);
        folder.AddStage("VBRun60sp5.exe");
        folder.AddStage("phase2.exe");
        folder.Write("setup.inf", "Acme\r\n");

        SetupRun run(folder, "", {std::string("SETUP_FAIL_ALLOCATION=") + c.failing});
        if (c.prompt) {
            MessageBoxView box;
            ASSERT_TRUE(run.FindBox(&box));
            EXPECT_EQ(box.text, "Do you wish to install Acme?");
            run.Answer(box, IDYES);
        }
        ExpectEndsWithStatusZero(run);
        EXPECT_EQ(folder.Log("VBRun60sp5").empty(), !c.prompt);
        EXPECT_EQ(folder.Log("phase2").empty(), !c.prompt);
    }
}

// A broken stage is passed over like a failed one: the next step runs and
// setup.exe ends with status 0.
TEST(HostileTest, BrokenStages)
{
    struct {
        const char *what;
        const char *firstMode;
        bool firstIsText;
        bool secondIsFolder;
    } cases[] = {
        {"first stage crashes", "crash", false, false},
        {"first stage is not a program", "", true, false},
        {"second stage is a folder", "", false, true},
    };
    CaseTally tally("broken stages");
    for (const auto &c : cases) {
        CaseTally::Case tried(tally);
        SCOPED_TRACE(c.what);
        InstallFolder folder;
        folder.AddSetup();
        folder.Write("setup.inf", "Acme\r\n");
        if (c.firstIsText)
            folder.Write("VBRun60sp5.exe", "This is not a program.\r\n");
        else
            folder.AddStage("VBRun60sp5.exe");
        if (c.secondIsFolder)
            CreateDirectoryA(folder.PathOf("phase2.exe").c_str(), nullptr);
        else
            folder.AddStage("phase2.exe");

        SetupRun run(folder, "", {std::string("FAKESTAGE_VBRun60sp5=") + c.firstMode});
        MessageBoxView box;
        ASSERT_TRUE(run.FindBox(&box));
        ASSERT_EQ(box.caption, "Install");
        run.Answer(box, IDYES);
        ExpectEndsWithStatusZero(run);
        EXPECT_EQ(folder.Log("VBRun60sp5").empty(), c.firstIsText);
        EXPECT_EQ(folder.Log("phase2").empty(), c.secondIsFolder);
    }
}

// Started from a shortcut whose "Start in" is another folder: setup.inf comes
// from the current directory, and a stage is taken from the folder of
// setup.exe before the current directory.
TEST(HostileTest, CurrentDirectoryIsNotTheProgramFolder)
{
    struct {
        const char *what;
        bool stagesBesideSetup;
        bool stagesInCurrent;
    } cases[] = {
        {"stages beside setup.exe", true, false},
        {"stages in the current directory", false, true},
        {"stages in both: setup.exe's folder first", true, true},
    };
    CaseTally tally("stage placements");
    for (const auto &c : cases) {
        CaseTally::Case tried(tally);
        SCOPED_TRACE(c.what);
        InstallFolder program, current;
        program.AddSetup();
        program.Write("setup.inf", "Wrong folder\r\n");
        current.Write("setup.inf", "Acme\r\n");
        for (const char *stage : {"VBRun60sp5.exe", "phase2.exe"}) {
            if (c.stagesBesideSetup)
                program.AddStage(stage);
            if (c.stagesInCurrent)
                current.AddStage(stage);
        }
        const InstallFolder &expected = c.stagesBesideSetup ? program : current;

        SetupRun run("\"" + program.PathOf("setup.exe") + "\"", current.Path());
        MessageBoxView box;
        ASSERT_TRUE(run.FindBox(&box));
        EXPECT_EQ(box.text, "Do you wish to install Acme?");
        run.Answer(box, IDYES);
        ExpectEndsWithStatusZero(run);
        // The stages run, and log, in the current directory.
        for (const char *stage : {"VBRun60sp5", "phase2"}) {
            auto seen = current.Log(stage);
            EXPECT_EQ(seen["image"], expected.PathOf(std::string(stage) + ".exe")) << stage;
            EXPECT_EQ(seen["cwd"], current.Path()) << stage;
            EXPECT_EQ(seen["inherits_setup_inf"], "1") << stage;
        }
    }
}

// An install folder named in scripts that no single ANSI code page holds:
// Cyrillic, Chinese and an emoji. setup.exe, started there, finds setup.inf
// through the current directory and its stages through its own folder,
// whatever the ANSI forms of those paths lose.
TEST(HostileTest, InstallFolderNamedOutsideTheCodePage)
{
    InstallFolder parent;
    const std::wstring path = Widen(parent.Path())
        + L"\\\u0423\u0441\u0442\u0430\u043D\u043E\u0432\u043A\u0430 \u5B89\u88C5 \U0001F4BF";
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, &lost);
    if (!lost)
        GTEST_SKIP() << "skipped: the ANSI code page (" << GetACP() << ") represents the folder's name";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    const std::wstring build = Widen(BuildFolder());
    ASSERT_TRUE(CopyFileW((build + L"\\setup.exe").c_str(), (path + L"\\setup.exe").c_str(), FALSE));
    for (const wchar_t *stage : {L"VBRun60sp5.exe", L"phase2.exe"})
        ASSERT_TRUE(CopyFileW((build + L"\\fakestage.exe").c_str(), (path + L"\\" + stage).c_str(), FALSE));
    HANDLE inf = CreateFileW((path + L"\\setup.inf").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    static const char NAME_LINE[] = "Acme\r\n";
    DWORD written;
    WriteFile(inf, NAME_LINE, sizeof(NAME_LINE) - 1, &written, nullptr);
    CloseHandle(inf);

    SetupRun run(L"\"" + path + L"\\setup.exe\"", path);
    MessageBoxView box;
    ASSERT_TRUE(run.FindBox(&box));
    EXPECT_EQ(box.text, "Do you wish to install Acme?");
    run.Answer(box, IDYES);
    ExpectEndsWithStatusZero(run);
    auto first = ReadLog(path + L"\\VBRun60sp5.log"), second = ReadLog(path + L"\\phase2.log");
    EXPECT_EQ(first["cmdline"], "VBRun60sp5.exe /Q");
    EXPECT_EQ(second["cmdline"], "phase2.exe");
    for (auto *seen : {&first, &second}) {
        EXPECT_EQ((*seen)["cwd_utf8"], Utf8(path));
        EXPECT_EQ((*seen)["inherits_setup_inf"], "1");
    }
    EXPECT_EQ(first["image_utf8"], Utf8(path + L"\\VBRun60sp5.exe"));
    EXPECT_EQ(second["image_utf8"], Utf8(path + L"\\phase2.exe"));
    EXPECT_GE(Ticks(second["start"]), Ticks(first["end"]));
}

// Wine takes a system DLL from a program's folder only where it is told to
// prefer native DLLs, so for the two programs below it is told so for
// uxtheme.dll, which its message boxes load when first shown: after WinMain
// has begun, unlike the DLLs loaded with user32.dll.
class NativeUxthemeFor {
public:
    explicit NativeUxthemeFor(std::vector<std::string> programs) : programs_(std::move(programs))
    {
        for (const std::string &program : programs_) {
            HKEY key;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyOf(program).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
                static const char ORDER[] = "native,builtin";
                RegSetValueExA(key, "uxtheme", 0, REG_SZ, reinterpret_cast<const BYTE *>(ORDER),
                               sizeof(ORDER));
                RegCloseKey(key);
            }
        }
    }
    ~NativeUxthemeFor()
    {
        for (const std::string &program : programs_) {
            RegDeleteKeyA(HKEY_CURRENT_USER, KeyOf(program).c_str());
            RegDeleteKeyA(HKEY_CURRENT_USER, (APP_DEFAULTS + program).c_str());
        }
    }

private:
    static constexpr char APP_DEFAULTS[] = "Software\\Wine\\AppDefaults\\";
    static std::string KeyOf(const std::string &program)
    {
        return APP_DEFAULTS + program + "\\DllOverrides";
    }
    std::vector<std::string> programs_;
};

// A program that shows a message box without restricting its DLL search
// loads the copy planted beside it; setup.exe must not.
TEST(HostileTest, PlantedDllIsNotLoaded)
{
    SKIP_UNLESS_WINE("Wine's DLL overrides, which make it take a DLL planted beside a program");
    InstallFolder folder;
    folder.AddSetup();
    folder.Write("setup.inf", "Acme\r\n");
    CopyFileA((BuildFolder() + "\\planted.dll").c_str(), folder.PathOf("uxtheme.dll").c_str(), FALSE);
    CopyFileA((BuildFolder() + "\\setup_tests.exe").c_str(), folder.PathOf("control.exe").c_str(), FALSE);
    NativeUxthemeFor nativeFirst({"setup.exe", "control.exe"});

    {
        SetupRun control("\"" + folder.PathOf("control.exe") + "\" icon-box", folder.Path());
        MessageBoxView box;
        ASSERT_TRUE(control.FindBox(&box));
        control.Answer(box, IDOK);
        DWORD status;
        EXPECT_TRUE(control.Wait(RUN_TIMEOUT_MS, &status));
    }
    FILE *log = fopen(folder.PathOf("planted.log").c_str(), "r");
    ASSERT_NE(log, nullptr) << "the control run did not load the planted DLL";
    fclose(log);
    DeleteFileA(folder.PathOf("planted.log").c_str());

    SetupRun run(folder);
    MessageBoxView box;
    ASSERT_TRUE(run.FindBox(&box));
    EXPECT_EQ(box.text, "Do you wish to install Acme?");
    run.Answer(box, IDNO);
    ExpectEndsWithStatusZero(run);
    log = fopen(folder.PathOf("planted.log").c_str(), "r");
    EXPECT_EQ(log, nullptr) << "setup.exe loaded the planted DLL";
    if (log)
        fclose(log);
}

} // namespace
