// setup.exe run from a disc as Windows runs it: the disc's root on a drive of
// its own, of type CD-ROM and read-only, setup.exe started there with the
// root as its current directory. The build's disc test (DiscRun) makes the
// disc from a sample folder, puts it on a drive and names the root in
// SETUP_DISC.

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "install_folder.h"

namespace {

const char DISC_VARIABLE[] = "SETUP_DISC";
// The first line of the sample folder's setup.inf, as the disc test writes it.
const char PROMPT[] = "Do you wish to install Acme Widgets?";
const char FIRST_LOG[] = "VBRun60sp5";
const char SECOND_LOG[] = "phase2";

std::string DiscRoot()
{
    char root[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(DISC_VARIABLE, root, sizeof(root));
    return length > 0 && length < sizeof(root) ? root : "";
}

TEST(DiscTest, YesRunsBothStagesFromTheDiscByTheirLongNames)
{
    std::string root = DiscRoot();
    if (root.empty())
        GTEST_SKIP() << DISC_VARIABLE << " names no disc: the build's disc test (DiscRun) "
                     << "makes the disc and runs this";

    ASSERT_EQ(GetDriveTypeA(root.c_str()), static_cast<UINT>(DRIVE_CDROM)) << root;
    std::string probe = root + "written.tmp";
    HANDLE written = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_EQ(written, INVALID_HANDLE_VALUE) << "the disc took a new file";
    if (written != INVALID_HANDLE_VALUE) {
        CloseHandle(written);
        DeleteFileA(probe.c_str());
    }

    // The stages cannot log on the disc.
    InstallFolder logs;
    SetupRun run("\"" + root + "setup.exe\"", root, {"FAKESTAGE_LOGDIR=" + logs.Path()});
    MessageBoxView box;
    ASSERT_TRUE(run.FindBox(&box));
    EXPECT_EQ(box.caption, "Install");
    EXPECT_EQ(box.text, PROMPT);
    EXPECT_TRUE(logs.Log(FIRST_LOG).empty()) << "a stage ran before the answer";
    run.Answer(box, IDYES);
    ExpectEndsWithStatusZero(run);

    struct {
        const char *log;
        const char *image;
        const char *commandLine;
    } stages[] = {
        {FIRST_LOG, "VBRun60sp5.exe", "VBRun60sp5.exe /Q"},
        {SECOND_LOG, "phase2.exe", "phase2.exe"},
    };
    for (const auto &stage : stages) {
        SCOPED_TRACE(stage.image);
        auto seen = logs.Log(stage.log);
        ASSERT_FALSE(seen.empty()) << "did not run";
        EXPECT_EQ(seen["cmdline"], stage.commandLine);
        EXPECT_EQ(seen["image"], root + stage.image);
        EXPECT_EQ(seen["cwd"], root);
        EXPECT_EQ(seen["inherits_setup_inf"], "1");
    }
    auto first = logs.Log(FIRST_LOG), second = logs.Log(SECOND_LOG);
    EXPECT_EQ(second["running"].find(FIRST_LOG), std::string::npos);
    EXPECT_GE(Ticks(second["start"]), Ticks(first["end"]));
}

} // namespace
