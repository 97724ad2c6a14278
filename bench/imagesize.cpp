/* Reads how much of a program file its resources and its icon take. */

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "imagesize.h"

static bool ReadWholeFile(const char *path, std::string *bytes)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return false;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), file)) > 0;)
        bytes->append(chunk, n);
    fclose(file);
    return true;
}

/* The file bytes of the section that holds the resource directory. */
static bool MeasureResourceSection(const std::string &bytes, unsigned long *size)
{
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    if (bytes.size() < sizeof(dos))
        return false;
    memcpy(&dos, bytes.data(), sizeof(dos));
    if (dos.e_lfanew < 0 || bytes.size() < dos.e_lfanew + sizeof(nt))
        return false;
    memcpy(&nt, bytes.data() + dos.e_lfanew, sizeof(nt));
    DWORD rva = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    size_t offset = dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader)
                  + nt.FileHeader.SizeOfOptionalHeader;
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i, offset += sizeof(IMAGE_SECTION_HEADER)) {
        IMAGE_SECTION_HEADER section;
        if (bytes.size() < offset + sizeof(section))
            return false;
        memcpy(&section, bytes.data() + offset, sizeof(section));
        if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize) {
            *size = section.SizeOfRawData;
            return true;
        }
    }
    return false;
}

static BOOL CALLBACK AddResourceSize(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR total)
{
    if (HRSRC resource = FindResourceA(module, name, type))
        *reinterpret_cast<unsigned long *>(total) += SizeofResource(module, resource);
    return TRUE;
}

bool MeasureImage(const char *path, ImageSize *size)
{
    *size = ImageSize();
    std::string bytes;
    if (!ReadWholeFile(path, &bytes) || !MeasureResourceSection(bytes, &size->resourceSectionBytes))
        return false;
    size->fileBytes = bytes.size();

    /* An icon resource is its images and the directory that groups them. */
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return false;
    LONG_PTR total = reinterpret_cast<LONG_PTR>(&size->iconBytes);
    EnumResourceNamesA(module, RT_ICON, AddResourceSize, total);
    EnumResourceNamesA(module, RT_GROUP_ICON, AddResourceSize, total);
    FreeLibrary(module);
    return true;
}
