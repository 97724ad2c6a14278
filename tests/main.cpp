// The test program. Started with a mode word it is instead a child that
// shows what the tests must be able to see:
//   icon-box     one message box with an icon
//   hung-window  a top-level window whose messages it never answers

#include <windows.h>

#include <string.h>

#include <gtest/gtest.h>

#include "install_folder.h"

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "icon-box") == 0)
        return MessageBoxA(nullptr, "Icon probe", "Probe", MB_OK | MB_ICONWARNING);
    if (argc == 2 && strcmp(argv[1], "hung-window") == 0) {
        CreateWindowExA(0, "STATIC", HUNG_WINDOW_TITLE, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                        nullptr, nullptr);
        Sleep(INFINITE);
    }

    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
