#include "executable_image.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>

namespace wine_tests {
namespace {

using Bytes = std::vector<unsigned char>;

template <typename T>
std::optional<T> ReadAt(const Bytes& bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) {
        return std::nullopt;
    }
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// File offset of a relative virtual address, through the section table.
std::optional<std::size_t> FileOffset(const Bytes& bytes, std::size_t sectionTable,
                                      unsigned sectionCount, DWORD rva) {
    for (unsigned index = 0; index < sectionCount; ++index) {
        auto section = ReadAt<IMAGE_SECTION_HEADER>(
            bytes, sectionTable + index * sizeof(IMAGE_SECTION_HEADER));
        if (!section) {
            return std::nullopt;
        }
        DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
        if (rva >= section->VirtualAddress && rva - section->VirtualAddress < size) {
            return static_cast<std::size_t>(section->PointerToRawData) +
                   (rva - section->VirtualAddress);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<ExecutableImage> ReadExecutableImage(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    auto dos = ReadAt<IMAGE_DOS_HEADER>(bytes, 0);
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) {
        return std::nullopt;
    }
    const auto ntOffset = static_cast<std::size_t>(dos->e_lfanew);
    auto nt = ReadAt<IMAGE_NT_HEADERS64>(bytes, ntOffset);
    if (!nt || nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        return std::nullopt;
    }
    ExecutableImage image;
    image.machine = nt->FileHeader.Machine;
    image.subsystem = nt->OptionalHeader.Subsystem;

    const std::size_t sectionTable = ntOffset + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                                     nt->FileHeader.SizeOfOptionalHeader;
    const unsigned sectionCount = nt->FileHeader.NumberOfSections;
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return image;
    }
    auto offset = FileOffset(bytes, sectionTable, sectionCount, imports.VirtualAddress);
    for (; offset; *offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto descriptor = ReadAt<IMAGE_IMPORT_DESCRIPTOR>(bytes, *offset);
        if (!descriptor) {
            return std::nullopt;
        }
        if (descriptor->Name == 0) {
            return image;  // the all-zero entry ends the directory
        }
        auto name = FileOffset(bytes, sectionTable, sectionCount, descriptor->Name);
        if (!name || *name >= bytes.size()) {
            return std::nullopt;
        }
        const auto* begin = reinterpret_cast<const char*>(bytes.data() + *name);
        image.importedModules.emplace_back(begin, strnlen(begin, bytes.size() - *name));
    }
    return std::nullopt;
}

}  // namespace wine_tests
