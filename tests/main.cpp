// The test program. Started with the mode word "icon-box" it is instead a
// child that shows one message box with an icon, so that the tests can
// check that they would see an icon if setup.exe showed one.

#include <windows.h>

#include <string.h>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "icon-box") == 0)
        return MessageBoxA(nullptr, "Icon probe", "Probe", MB_OK | MB_ICONWARNING);

    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
