// Names in a double-byte ANSI code page. Wine takes the code page from the
// Unix locale of the session, so these run on their own, with LC_ALL set to
// a Japanese locale: code page 932. On Windows they run where the system's
// code page is 932.

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "install_folder.h"

namespace {

const char HEAD[] = "Do you wish to install ";

std::string ToCodePage932(const std::wstring &text)
{
    char bytes[512];
    int length = WideCharToMultiByte(932, 0, text.c_str(), -1, bytes, sizeof(bytes), nullptr, nullptr);
    return std::string(bytes, length > 0 ? length - 1 : 0);
}

std::wstring FromCodePage932(const std::string &bytes)
{
    wchar_t text[512];
    int length = MultiByteToWideChar(932, 0, bytes.c_str(), -1, text, ARRAYSIZE(text));
    return std::wstring(text, length > 0 ? length - 1 : 0);
}

TEST(CodePage932Test, NamesShownAsTheSystemReadsTheirBytes)
{
    if (WineVersion().empty() && GetACP() != 932)
        GTEST_SKIP() << "skipped: the ANSI code page is " << GetACP() << ", not 932 (Japanese)";
    // Wine takes it from the Unix locale, which the test list sets.
    ASSERT_EQ(GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";

    // Sofuto hyouji: both characters have 0x5C, the backslash, as trail byte.
    const std::string japanese = ToCodePage932(L"\u30BD\u30D5\u30C8\u8868\u793A");
    const std::string kanji = ToCodePage932(L"\u8868");
    ASSERT_EQ(kanji.size(), 2u);
    const std::string filler(253, 'x');
    struct {
        const char *what;
        std::string file;
        std::string name;  // the bytes the prompt holds between head and tail
    } cases[] = {
        {"Japanese name", japanese + "\r\n", japanese},
        {"cut at 254 between the bytes of a character", filler + kanji + "\r\n",
         filler + kanji.substr(0, 1)},
    };

    CaseTally tally("code page 932 names");
    for (const auto &c : cases) {
        CaseTally::Case tried(tally);
        SCOPED_TRACE(c.what);
        InstallFolder folder;
        folder.AddSetup();
        folder.AddStage("VBRun60sp5.exe");
        folder.Write("setup.inf", c.file);

        SetupRun run(folder);
        MessageBoxView box;
        ASSERT_TRUE(run.FindBox(&box));
        EXPECT_EQ(box.caption, "Install");
        EXPECT_EQ(box.wideText, FromCodePage932(HEAD + c.name + "?"));
        run.Answer(box, IDNO);
        ExpectEndsWithStatusZero(run);
        EXPECT_TRUE(folder.Log("VBRun60sp5").empty());
    }
}

} // namespace
