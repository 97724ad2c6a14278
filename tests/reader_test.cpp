#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "install_folder.h"
#include "prompt.h"
#include "setupinf.h"

namespace {

struct Freer {
    void operator()(char *p) const { free(p); }
};
using Owned = std::unique_ptr<char, Freer>;

// The reader opens setup.inf in the current directory and keeps it open for
// the rest of the process, so each case gets its own folder and closes the
// run-time's streams before the folder is removed.
class ReaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof(previous_), previous_);
        SetCurrentDirectoryA(folder_.Path().c_str());
    }
    void TearDown() override
    {
        _fcloseall();
        SetCurrentDirectoryA(previous_);
    }

    std::string ReadLine(const std::string &bytes)
    {
        folder_.Write("setup.inf", bytes);
        Owned line(ReadSetupName());
        EXPECT_NE(line, nullptr);
        return line ? line.get() : "<null>";
    }

    InstallFolder folder_;
    char previous_[MAX_PATH];
};

struct LineCase {
    const char *what;
    std::string file;
    std::string line;  // as the reader hands it back, up to its NUL
};

const std::string N253(253, 'n'), N254(254, 'n'), N300(300, 'n');

const LineCase LINE_CASES[] = {
    {"CR LF reads as LF", "abc\r\nsecond\r\n", "abc\n"},
    {"bare LF", "abc\nsecond\n", "abc\n"},
    {"no line end", "0123456789", "0123456789"},
    {"only CR LF", "\r\nsecond\r\n", "\n"},
    {"lone CR stays, line runs on", "ab\rcd\r\nef\r\n", "ab\rcd\n"},
    {"CR as the last byte", "abc\r", "abc\r"},
    {"0x1A ends the text", std::string("ab\x1A" "cd\n"), "ab"},
    {"NUL ends the name", std::string("ab\0cd\n", 6), "ab"},
    {"blanks and tabs kept", " \t name \t\r\n", " \t name \t\n"},
    {"bytes above 0x7F kept", "Caf\xE9 \xFF\r\n", "Caf\xE9 \xFF\n"},
    {"253 bytes and LF", N253 + "\r\n", N253 + "\n"},
    {"254 bytes and LF: LF not read", N254 + "\r\nsecond\r\n", N254},
    {"300 bytes cut to 254", N300 + "\r\n", N254},
    {"empty file", "", ""},
    {"0x1A first", "\x1A" "abc\r\n", ""},
};

TEST_F(ReaderTest, FirstLineUnderTextModeRules)
{
    for (const LineCase &c : LINE_CASES) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadLine(c.file), c.line);
        _fcloseall();
    }
}

TEST_F(ReaderTest, StreamStaysOpenAndBlocksDeletion)
{
    ReadLine("Product\r\n");
    EXPECT_FALSE(DeleteFileA("setup.inf"));
    EXPECT_FALSE(MoveFileA("setup.inf", "moved.inf"));

    // Reading and writing are shared.
    HANDLE other = CreateFileA("setup.inf", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE);
    CloseHandle(other);
}

TEST(RemoveCharTest, Cases)
{
    struct {
        std::string source;
        char c;
        std::string result;
    } cases[] = {
        {"", '\n', ""},
        {"a\nb\n", '\n', "ab"},
        {"\n\n\n", '\n', ""},
        {"no line feed", '\n', "no line feed"},
        {"\xFF" "a\xFF", '\xFF', "a"},
        {"a\rb\n", '\n', "a\rb"},
    };
    for (const auto &c : cases) {
        Owned result(RemoveChar(c.source.c_str(), c.c));
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result.get(), c.result) << "source: " << c.source;
        EXPECT_NE(static_cast<const void *>(result.get()), c.source.c_str());
    }
}

TEST(ComposePromptTest, HeadNameTail)
{
    struct {
        std::string line;
        std::string prompt;
    } cases[] = {
        {"Acme Widgets\n", "Do you wish to install Acme Widgets?"},
        {"", "Do you wish to install ?"},
        {"\n", "Do you wish to install ?"},
        {"  two  blanks\r", "Do you wish to install   two  blanks\r?"},
        {"100% &Co %s\n", "Do you wish to install 100% &Co %s?"},
        {N254, "Do you wish to install " + N254 + "?"},
        {N253 + "\n", "Do you wish to install " + N253 + "?"},
        // Longer than any line the reader delivers: cut, never overrun.
        {N300, "Do you wish to install " + N254 + "?"},
    };
    for (const auto &c : cases) {
        char prompt[PROMPT_SIZE];
        ASSERT_TRUE(ComposePrompt(prompt, c.line.c_str()));
        EXPECT_EQ(prompt, c.prompt);
    }
}

} // namespace
