// The signed setup.exe, as the build's signing test leaves it: the
// certificate table appended to the file must not disturb loading, and the
// header's checksum must cover it.

#include <windows.h>
#include <imagehlp.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "install_folder.h"

namespace {

// A Windows path, set by the CTest entry that depends on the signing test.
const char SIGNED_SETUP_VARIABLE[] = "SIGNED_SETUP";

class SignedSetupTest : public testing::Test {
protected:
    void SetUp() override
    {
        const char *path = getenv(SIGNED_SETUP_VARIABLE);
        if (!path || !*path)
            GTEST_SKIP() << SIGNED_SETUP_VARIABLE << " is not set: the signed setup.exe is made by"
                         << " the build's signing test (ctest -R SignedSetup runs both)";
        path_ = path;
        ASSERT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path << " is missing";
    }

    std::string path_;
};

// The certificate table is the file's tail, past every section, where the
// loader does not look.
TEST_F(SignedSetupTest, CarriesACertificateTableAndTheChecksumCoversIt)
{
    FILE *file = fopen(path_.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::string bytes;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), file)) > 0;)
        bytes.append(chunk, n);
    fclose(file);
    ASSERT_GT(bytes.size(), sizeof(IMAGE_DOS_HEADER));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(bytes.data());
    ASSERT_LE(dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32), bytes.size());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(bytes.data() + dos->e_lfanew);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    const IMAGE_DATA_DIRECTORY &table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    EXPECT_GT(table.Size, 0u) << "not signed";
    EXPECT_EQ(table.VirtualAddress + table.Size, bytes.size());

    DWORD inHeader = 0, computed = 0;
    ASSERT_EQ(MapFileAndCheckSumA(path_.c_str(), &inHeader, &computed), static_cast<DWORD>(CHECKSUM_SUCCESS));
    EXPECT_NE(inHeader, 0u);
    EXPECT_EQ(inHeader, computed);
}

TEST_F(SignedSetupTest, PromptThenYesRunsBothStagesOneAfterTheOther)
{
    InstallFolder folder;
    folder.AddSetup(path_);
    folder.AddStage("VBRun60sp5.exe");
    folder.AddStage("phase2.exe");
    folder.Write("setup.inf", "Acme Widgets\r\n");

    SetupRun run(folder);
    MessageBoxView box;
    ASSERT_TRUE(run.FindBox(&box));
    EXPECT_EQ(box.caption, "Install");
    EXPECT_EQ(box.text, "Do you wish to install Acme Widgets?");
    run.Answer(box, IDYES);
    ExpectEndsWithStatusZero(run);

    auto first = folder.Log("VBRun60sp5"), second = folder.Log("phase2");
    ASSERT_FALSE(first.empty()) << "the first stage did not run";
    ASSERT_FALSE(second.empty()) << "the second stage did not run";
    EXPECT_EQ(first["cmdline"], "VBRun60sp5.exe /Q");
    EXPECT_EQ(second["cmdline"], "phase2.exe");
    EXPECT_GE(Ticks(second["start"]), Ticks(first["end"]));
}

} // namespace
