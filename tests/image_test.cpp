// The built setup.exe as a file: its PE header, its imports and its
// resources.

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "install_folder.h"

namespace {

std::string SetupPath()
{
    return BuildFolder() + "\\setup.exe";
}

class ImageTest : public testing::Test {
protected:
    void SetUp() override
    {
        FILE *file = fopen(SetupPath().c_str(), "rb");
        ASSERT_NE(file, nullptr);
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof(chunk), file)) > 0;)
            bytes_.append(chunk, n);
        fclose(file);
        ASSERT_GT(bytes_.size(), sizeof(IMAGE_DOS_HEADER));
        auto dos = At<IMAGE_DOS_HEADER>(0);
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        nt_ = At<IMAGE_NT_HEADERS32>(dos->e_lfanew);
        ASSERT_NE(nt_, nullptr);
        ASSERT_EQ(nt_->Signature, IMAGE_NT_SIGNATURE);
    }

    template <typename T> const T *At(size_t offset) const
    {
        return offset + sizeof(T) <= bytes_.size()
            ? reinterpret_cast<const T *>(bytes_.data() + offset) : nullptr;
    }

    size_t OffsetOf(DWORD rva) const
    {
        auto section = IMAGE_FIRST_SECTION(nt_);
        for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section)
            if (rva >= section->VirtualAddress
                && rva < section->VirtualAddress + section->Misc.VirtualSize)
                return rva - section->VirtualAddress + section->PointerToRawData;
        return bytes_.size();
    }

    std::string bytes_;
    const IMAGE_NT_HEADERS32 *nt_ = nullptr;
};

TEST_F(ImageTest, IsA32BitWindowsGuiProgram)
{
    EXPECT_EQ(nt_->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt_->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
    EXPECT_EQ(nt_->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
    EXPECT_FALSE(nt_->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_TRUE(nt_->FileHeader.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE);
}

// The mitigations a binary analyser asks of a 32-bit image, read from its
// headers: each one is the system's, and the image only has to opt in.
TEST_F(ImageTest, OptsIntoTheSystemsMitigations)
{
    // Address space layout randomisation needs the relocations kept.
    const WORD flags = nt_->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_FALSE(nt_->FileHeader.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_NE(nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
    // Data execution prevention.
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
}

TEST_F(ImageTest, NoSectionIsWritableAndExecutableOrShared)
{
    const DWORD importTable = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT].VirtualAddress;
    ASSERT_NE(importTable, 0u);
    auto section = IMAGE_FIRST_SECTION(nt_);
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
        std::string name(reinterpret_cast<const char *>(section->Name),
                         strnlen(reinterpret_cast<const char *>(section->Name), IMAGE_SIZEOF_SHORT_NAME));
        SCOPED_TRACE(name);
        const DWORD kind = section->Characteristics;
        const bool writable = kind & IMAGE_SCN_MEM_WRITE;
        const bool executable = kind & (IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_CNT_CODE);
        EXPECT_FALSE(writable && executable);
        EXPECT_FALSE(writable && (kind & IMAGE_SCN_MEM_SHARED));
        // The loader writes the import addresses, so their section must not
        // run either, whatever its flags say about writing.
        if (importTable >= section->VirtualAddress
            && importTable < section->VirtualAddress + section->Misc.VirtualSize) {
            EXPECT_FALSE(executable) << "the import address table is in an executable section";
        }
    }
}

// On x86, an exception handler is found through a chain on the stack, which
// an overrun can rewrite. An image that registers no handler says so, and
// the system then calls none in it; one that does needs a table of its
// handlers.
TEST_F(ImageTest, ExceptionHandlersCannotBeFaked)
{
    const auto &loadConfig = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    if (!(nt_->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH)) {
        ASSERT_NE(loadConfig.Size, 0u) << "neither the no-SEH flag nor a handler table";
        auto config = At<IMAGE_LOAD_CONFIG_DIRECTORY32>(OffsetOf(loadConfig.VirtualAddress));
        ASSERT_NE(config, nullptr);
        EXPECT_NE(config->SEHandlerTable, 0u);
        return;
    }
    // The flag is true only if no code links a handler into the chain at
    // fs:[0]: mov fs:[0], reg (64 89 /r with a 32-bit displacement of 0),
    // mov fs:[0], eax (64 A3) or pop fs:[0] (64 8F 05).
    auto section = IMAGE_FIRST_SECTION(nt_);
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
        if (!(section->Characteristics & IMAGE_SCN_MEM_EXECUTE))
            continue;
        const std::string code = bytes_.substr(section->PointerToRawData,
                                               std::min(section->SizeOfRawData, section->Misc.VirtualSize));
        static const std::string ZERO(4, '\0');
        for (size_t at = 0; (at = code.find('\x64', at)) != std::string::npos; ++at) {
            const std::string rest = code.substr(at + 1, 6);
            const bool storesReg = rest.size() == 6 && rest[0] == '\x89' && (rest[1] & 0xC7) == 0x05
                                && rest.substr(2) == ZERO;
            const bool storesEax = rest.size() >= 5 && rest[0] == '\xA3' && rest.substr(1, 4) == ZERO;
            const bool pops = rest.size() == 6 && rest[0] == '\x8F' && rest[1] == '\x05'
                           && rest.substr(2) == ZERO;
            EXPECT_FALSE(storesReg || storesEax || pops) << "a handler is linked in at offset " << at;
        }
    }
}

TEST_F(ImageTest, ImportsOnlyFromTheSystemAndItsRunTime)
{
    const auto &directory = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(directory.Size, 0u);
    std::set<std::string> dlls;
    for (size_t offset = OffsetOf(directory.VirtualAddress);; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
        ASSERT_NE(descriptor, nullptr);
        if (!descriptor->Name)
            break;
        size_t name = OffsetOf(descriptor->Name);
        ASSERT_LT(name, bytes_.size());
        std::string dll = bytes_.c_str() + name;
        std::transform(dll.begin(), dll.end(), dll.begin(), ::toupper);
        dlls.insert(dll);
    }
    EXPECT_EQ(dlls, (std::set<std::string>{"KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL"}));
}

// Resource enumeration collects into these.
BOOL CALLBACK AddType(HMODULE, LPSTR type, LONG_PTR out)
{
    reinterpret_cast<std::vector<ULONG_PTR> *>(out)->push_back(reinterpret_cast<ULONG_PTR>(type));
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out)
{
    reinterpret_cast<std::vector<ULONG_PTR> *>(out)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out)
{
    reinterpret_cast<std::vector<ULONG_PTR> *>(out)->push_back(language);
    return TRUE;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupIcon {
    WORD reserved, type, count;
    GroupIconEntry entries[1];
};
#pragma pack(pop)

TEST(ResourceTest, OneIconGroupWithOne32By32Icon)
{
    HMODULE image = LoadLibraryExA(SetupPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);

    std::vector<ULONG_PTR> types, groups, languages, icons;
    EnumResourceTypesA(image, AddType, reinterpret_cast<LONG_PTR>(&types));
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<ULONG_PTR>{3 /* RT_ICON */, 14 /* RT_GROUP_ICON */}));

    EnumResourceNamesA(image, RT_GROUP_ICON, AddName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(groups, (std::vector<ULONG_PTR>{101}));
    EnumResourceLanguagesA(image, RT_GROUP_ICON, MAKEINTRESOURCEA(101), AddLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, (std::vector<ULONG_PTR>{1033}));
    EnumResourceNamesA(image, RT_ICON, AddName, reinterpret_cast<LONG_PTR>(&icons));
    EXPECT_EQ(icons, (std::vector<ULONG_PTR>{1}));

    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(101), RT_GROUP_ICON);
    ASSERT_NE(found, nullptr);
    ASSERT_GE(SizeofResource(image, found), sizeof(GroupIcon));
    auto group = static_cast<const GroupIcon *>(LockResource(LoadResource(image, found)));
    EXPECT_EQ(group->type, 1);
    ASSERT_EQ(group->count, 1);
    const GroupIconEntry &entry = group->entries[0];
    EXPECT_EQ(entry.width, 32);
    EXPECT_EQ(entry.height, 32);
    EXPECT_EQ(entry.bitCount, 24);
    EXPECT_EQ(entry.id, 1);

    // The image: a 32 by 32 colour bitmap at 24 bits, then a mask that
    // marks some pixels transparent and leaves others opaque.
    found = FindResourceA(image, MAKEINTRESOURCEA(1), RT_ICON);
    ASSERT_NE(found, nullptr);
    const DWORD colourBytes = 32 * 32 * 3, maskBytes = 32 * 4;
    ASSERT_EQ(SizeofResource(image, found), sizeof(BITMAPINFOHEADER) + colourBytes + maskBytes);
    auto header = static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(image, found)));
    EXPECT_EQ(header->biWidth, 32);
    EXPECT_EQ(header->biHeight, 64);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
    auto mask = reinterpret_cast<const BYTE *>(header + 1) + colourBytes;
    size_t transparent = 0;
    for (DWORD i = 0; i < maskBytes; ++i)
        for (int bit = 0; bit < 8; ++bit)
            transparent += (mask[i] >> bit) & 1;
    EXPECT_GT(transparent, 0u);
    EXPECT_LT(transparent, 32u * 32u);

    // And the system takes it for an icon.
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE *>(const_cast<BITMAPINFOHEADER *>(header)),
                                          SizeofResource(image, found), TRUE, 0x00030000, 32, 32, 0);
    EXPECT_NE(icon, nullptr);
    DestroyIcon(icon);
    FreeLibrary(image);
}

} // namespace
