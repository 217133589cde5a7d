// Win32 body of the operations that write whole new files: the ANSI
// functions, synchronous.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace hc {

FileHandle create_beside(const char* name, std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = std::string(name) + ".hackcomp-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(attempt);
        HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return reinterpret_cast<FileHandle>(file);
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    temporary.clear();
    return INVALID_FILE;
}

bool rename_over(const char* temporary, const char* name) {
    return MoveFileExA(temporary, name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool remove_file(const char* name) { return DeleteFileA(name) != 0; }

bool names_same_file(const char* a, const char* b) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE first = CreateFileA(a, 0, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (first == INVALID_HANDLE_VALUE) return false;
    HANDLE second = CreateFileA(b, 0, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool same = false;
    if (second != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info_a;
        BY_HANDLE_FILE_INFORMATION info_b;
        same = GetFileInformationByHandle(first, &info_a) && GetFileInformationByHandle(second, &info_b) &&
               info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
               info_a.nFileIndexHigh == info_b.nFileIndexHigh && info_a.nFileIndexLow == info_b.nFileIndexLow;
        CloseHandle(second);
    }
    CloseHandle(first);
    return same;
}

std::int64_t file_size(FileHandle file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size)) return -1;
    return size.QuadPart;
}

}  // namespace hc
