// Win32 body of the process operations: standard streams, current folder.
// Start-up has nothing to prepare: a console program there gets no signal
// for a closed pipe or a file size limit, and its standard handles cannot be
// taken by a file it opens.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace hc {
namespace {

bool write_all(HANDLE file, const char* data, std::size_t count) {
    while (count > 0) {
        DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        count -= written;
    }
    return true;
}

}  // namespace

void write_standard_output(const char* data, std::size_t count) {
    write_all(GetStdHandle(STD_OUTPUT_HANDLE), data, count);
}

void write_standard_error(const char* data, std::size_t count) {
    write_all(GetStdHandle(STD_ERROR_HANDLE), data, count);
}

bool change_folder(const char* folder) { return SetCurrentDirectoryA(folder) != 0; }

bool name_exists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

bool write_whole_file(const char* name, const char* data, std::size_t count) {
    std::string temporary = std::string(name) + ".hackcomp-new";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = write_all(file, data, count);
    written = CloseHandle(file) != 0 && written;
    if (written && MoveFileExA(temporary.c_str(), name, MOVEFILE_REPLACE_EXISTING) != 0) return true;
    DeleteFileA(temporary.c_str());
    return false;
}

void prepare_process() {}

}  // namespace hc
