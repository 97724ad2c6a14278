// Which system the tests run on. Tests that rest on a mechanism only Wine
// has skip themselves on Windows, so the test that tells the two apart must
// itself be right: Wine, and only Wine, keeps a registry key of its own.

#include <windows.h>

#include <stdio.h>

#include <string>

#include <gtest/gtest.h>

#include "install_folder.h"

namespace {

TEST(PlatformTest, TellsWineFromWindows)
{
    HKEY key;
    const bool wineKey = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (wineKey)
        RegCloseKey(key);
    EXPECT_EQ(!WineVersion().empty(), wineKey);

    // The version the system reports, whatever this program's manifest
    // (it has none) would make GetVersionEx say.
    typedef LONG(WINAPI * RtlGetVersionProc)(OSVERSIONINFOW *);
    auto getVersion = reinterpret_cast<RtlGetVersionProc>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_NE(getVersion, nullptr);
    getVersion(&version);
    printf("platform: %s%s, reporting Windows %lu.%lu.%lu, ANSI code page %u\n",
           WineVersion().empty() ? "Windows" : "Wine ", WineVersion().c_str(),
           version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber, GetACP());
    fflush(stdout);
}

} // namespace
