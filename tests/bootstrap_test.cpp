// setup.exe end to end: the real executable in an install folder, its real
// message boxes, and fake stages that record what they saw.

#include <windows.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "install_folder.h"

namespace {

const char FIRST[] = "VBRun60sp5.exe";
const char SECOND[] = "phase2.exe";
const char FIRST_LOG[] = "VBRun60sp5";
const char SECOND_LOG[] = "phase2";

class BootstrapTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_.AddSetup();
        folder_.AddStage(FIRST);
        folder_.AddStage(SECOND);
        folder_.Write("setup.inf", "Acme Widgets\r\nversion=2\r\n");
    }

    // Starts setup.exe, expects the install prompt and answers it.
    void AnswerPrompt(SetupRun &run, int button)
    {
        MessageBoxView box;
        ASSERT_TRUE(run.FindBox(&box));
        ASSERT_EQ(box.caption, "Install");
        run.Answer(box, button);
    }

    // The stage ran from the install folder, with the exact command line,
    // holding the bootstrapper's inherited handle to setup.inf.
    void ExpectStageRan(const char *log, const char *commandLine)
    {
        auto seen = folder_.Log(log);
        ASSERT_FALSE(seen.empty()) << log << " did not run";
        EXPECT_EQ(seen["cmdline"], commandLine);
        EXPECT_EQ(seen["cwd"], folder_.Path());
        EXPECT_EQ(seen["inherits_setup_inf"], "1");
    }

    // The second stage was created only after the first had ended.
    void ExpectStrictlyInOrder()
    {
        auto first = folder_.Log(FIRST_LOG), second = folder_.Log(SECOND_LOG);
        ASSERT_FALSE(first.empty());
        ASSERT_FALSE(second.empty());
        EXPECT_EQ(second["running"].find(FIRST_LOG), std::string::npos);
        EXPECT_GE(Ticks(second["start"]), Ticks(first["end"]));
    }

    InstallFolder folder_;
};

TEST_F(BootstrapTest, PromptThenYesRunsBothStagesOneAfterTheOther)
{
    SetupRun run(folder_);
    MessageBoxView box;
    ASSERT_TRUE(run.FindBox(&box));
    EXPECT_EQ(box.caption, "Install");
    EXPECT_EQ(box.text, "Do you wish to install Acme Widgets?");
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(box.defaultButton, IDYES);
    EXPECT_FALSE(box.icon);
    EXPECT_FALSE(box.owned);
    EXPECT_TRUE(folder_.Log(FIRST_LOG).empty()) << "a stage ran before the answer";

    run.Answer(box, IDYES);
    ExpectEndsWithStatusZero(run);
    ExpectStageRan(FIRST_LOG, "VBRun60sp5.exe /Q");
    ExpectStageRan(SECOND_LOG, "phase2.exe");
    ExpectStrictlyInOrder();
}

// The prompt shows the first line exactly: whole, blanks and all, nothing
// interpreted. Answering No then runs nothing.
TEST_F(BootstrapTest, PromptShowsNameAsReadAndNoRunsNothing)
{
    struct {
        const char *what;
        std::string file;
        std::string text;
    } cases[] = {
        {"bare LF", "Acme\nmore\n", "Do you wish to install Acme?"},
        {"blanks kept", "  Acme  Widgets \t\r\n", "Do you wish to install   Acme  Widgets \t?"},
        {"nothing interpreted", "100% &Co %s\r\n", "Do you wish to install 100% &Co %s?"},
        {"empty first line", "\r\nAcme\r\n", "Do you wish to install ?"},
        {"empty file", "", "Do you wish to install ?"},
        {"0x1A first", "\x1A" "Acme\r\n", "Do you wish to install ?"},
        {"254-byte name shown whole", std::string(254, 'W') + "\r\n",
         "Do you wish to install " + std::string(254, 'W') + "?"},
        {"longer line cut at 254", std::string(400, 'L'),
         "Do you wish to install " + std::string(254, 'L') + "?"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        folder_.Write("setup.inf", c.file);
        SetupRun run(folder_);
        MessageBoxView box;
        ASSERT_TRUE(run.FindBox(&box));
        EXPECT_EQ(box.caption, "Install");
        EXPECT_EQ(box.text, c.text);
        run.Answer(box, IDNO);
        ExpectEndsWithStatusZero(run);
        EXPECT_TRUE(folder_.Log(FIRST_LOG).empty());
        EXPECT_TRUE(folder_.Log(SECOND_LOG).empty());
    }
}

TEST_F(BootstrapTest, MissingSetupInfShowsOnlyTheFailureAndRunsNothing)
{
    DeleteFileA(folder_.PathOf("setup.inf").c_str());
    SetupRun run(folder_);
    MessageBoxView box;
    ASSERT_TRUE(run.FindBox(&box));
    EXPECT_EQ(box.caption, "Cannot install");
    EXPECT_EQ(box.text, "Cannot open setup.inf");
    EXPECT_EQ(box.buttons, (std::vector<int>{IDOK}));
    EXPECT_FALSE(box.icon);
    EXPECT_FALSE(box.owned);

    run.Answer(box, IDOK);
    ExpectEndsWithStatusZero(run);
    EXPECT_TRUE(folder_.Log(FIRST_LOG).empty());
    EXPECT_TRUE(folder_.Log(SECOND_LOG).empty());
}

// Whatever became of the first stage, the second runs after it.
TEST_F(BootstrapTest, SecondStageRunsWhateverTheFirstDid)
{
    struct {
        const char *what;
        bool firstPresent;
        const char *firstMode;
    } cases[] = {
        {"first stage absent", false, ""},
        {"first stage exits 3", true, "exit:3"},
        {"first stage exits -1", true, "exit:-1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        InstallFolder folder;
        folder.AddSetup();
        if (c.firstPresent)
            folder.AddStage(FIRST);
        folder.AddStage(SECOND);
        folder.Write("setup.inf", "Acme\r\n");
        SetupRun run(folder, "", {std::string("FAKESTAGE_") + FIRST_LOG + "=" + c.firstMode,
                                  std::string("FAKESTAGE_") + SECOND_LOG + "=exit:7"});
        AnswerPrompt(run, IDYES);
        ExpectEndsWithStatusZero(run);
        EXPECT_EQ(folder.Log(FIRST_LOG).empty(), !c.firstPresent);
        auto second = folder.Log(SECOND_LOG);
        ASSERT_FALSE(second.empty());
        EXPECT_EQ(second["cmdline"], "phase2.exe");
        if (c.firstPresent) {
            EXPECT_GE(Ticks(second["start"]), Ticks(folder.Log(FIRST_LOG)["end"]));
        }
    }
}

TEST_F(BootstrapTest, OwnArgumentsChangeNothing)
{
    SetupRun run(folder_, "/S /Q phase2.exe setup.inf other.inf");
    MessageBoxView box;
    ASSERT_TRUE(run.FindBox(&box));
    EXPECT_EQ(box.text, "Do you wish to install Acme Widgets?");
    run.Answer(box, IDYES);
    ExpectEndsWithStatusZero(run);
    ExpectStageRan(FIRST_LOG, "VBRun60sp5.exe /Q");
    ExpectStageRan(SECOND_LOG, "phase2.exe");
    ExpectStrictlyInOrder();
}

// A stage that hands off to another process and exits releases the
// bootstrapper at its own exit, not at the other process's.
TEST_F(BootstrapTest, StageThatHandsOffReleasesTheWait)
{
    SetupRun run(folder_, "", {std::string("FAKESTAGE_") + FIRST_LOG + "=spawn"});
    AnswerPrompt(run, IDYES);
    ExpectEndsWithStatusZero(run);
    auto first = folder_.Log(FIRST_LOG);
    EXPECT_NE(strtoul(first["spawned"].c_str(), nullptr, 10), 0u) << "the handed-off process did not log";
    auto second = folder_.Log(SECOND_LOG);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second["running"], "linger") << "the handed-off process should still run";
}

// No time-out: a stage that never ends keeps setup.exe waiting, and the
// second stage runs once the first has been ended.
TEST_F(BootstrapTest, StageThatNeverEndsKeepsTheBootstrapperWaiting)
{
    SetupRun run(folder_, "", {std::string("FAKESTAGE_") + FIRST_LOG + "=hang"});
    AnswerPrompt(run, IDYES);

    DWORD status;
    EXPECT_FALSE(run.Wait(3000, &status)) << "setup.exe ended while its stage still ran";
    auto first = folder_.Log(FIRST_LOG);
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(folder_.Log(SECOND_LOG).empty());

    HANDLE stage = OpenProcess(PROCESS_TERMINATE, FALSE, strtoul(first["pid"].c_str(), nullptr, 10));
    ASSERT_NE(stage, nullptr);
    TerminateProcess(stage, 1);
    CloseHandle(stage);
    ExpectEndsWithStatusZero(run);
    EXPECT_FALSE(folder_.Log(SECOND_LOG).empty());
}

// Installers tell every top-level window when they have changed a setting,
// and wait for the answers. setup.exe, blocked in its wait for the stage,
// must own no window that would hold them up.
TEST_F(BootstrapTest, StageBroadcastIsNotHeldUp)
{
    SetupRun run(folder_, "", {std::string("FAKESTAGE_") + FIRST_LOG + "=broadcast"});
    AnswerPrompt(run, IDYES);
    ExpectEndsWithStatusZero(run);
    auto first = folder_.Log(FIRST_LOG);
    EXPECT_EQ(first["broadcast_with_timeout"], "answered");
    EXPECT_EQ(first["broadcast"], "answered");
    EXPECT_FALSE(folder_.Log(SECOND_LOG).empty());
}

// The probe behind the test above: a process that owns a window and does
// not answer its messages does hold a broadcast up.
TEST(BroadcastProbeTest, AWindowThatDoesNotAnswerHoldsABroadcastUp)
{
    SetupRun hung("\"" + BuildFolder() + "\\setup_tests.exe\" hung-window", BuildFolder());
    ASSERT_TRUE(hung.Started());
    for (DWORD waited = 0; !FindWindowA(nullptr, HUNG_WINDOW_TITLE) && waited < RUN_TIMEOUT_MS; waited += 50)
        Sleep(50);
    ASSERT_NE(FindWindowA(nullptr, HUNG_WINDOW_TITLE), nullptr);

    InstallFolder folder;
    folder.AddStage(SECOND);
    SetupRun stage("\"" + folder.PathOf(SECOND) + "\"", folder.Path(),
                   {std::string("FAKESTAGE_") + SECOND_LOG + "=broadcast"});
    DWORD status;
    EXPECT_FALSE(stage.Wait(3000, &status)) << "the broadcast was answered by a window that cannot answer";
    hung.Terminate();
    EXPECT_TRUE(stage.Wait(RUN_TIMEOUT_MS, &status));
    EXPECT_EQ(folder.Log(SECOND_LOG)["broadcast"], "answered");
}

// The probe behind every "no icon" above: a box with an icon is seen to
// have one.
TEST(MessageBoxReaderTest, SeesAnIconWhenThereIsOne)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string command = "\"" + std::string(path) + "\" icon-box";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    MessageBoxView box;
    bool found = FindMessageBox(process.dwProcessId, RUN_TIMEOUT_MS, &box);
    if (found)
        PostMessageA(box.window, WM_COMMAND, IDOK, 0);
    else
        TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, RUN_TIMEOUT_MS);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(found);
    EXPECT_EQ(box.text, "Icon probe");
    EXPECT_TRUE(box.icon);
}

} // namespace
