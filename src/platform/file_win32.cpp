// Win32 body of the file operations: the ANSI functions, synchronous.
#include <windows.h>

#include "platform/platform.h"

namespace hc {
namespace {

HANDLE as_handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle as_file(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// Only a file on a disk: a device (CON, NUL, COM1) or a pipe would wait for
// input that may never come, or swallow what is written.
HANDLE open_existing(const char* name, DWORD access) {
    HANDLE file = CreateFileA(name, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// The folder of a file's name, with its separator, or "" for the current one.
void folder_of(const char* name, char* folder, DWORD size) {
    DWORD end = 0;
    for (DWORD i = 0; name[i] != '\0'; ++i)
        if (name[i] == '\\' || name[i] == '/' || name[i] == ':') end = i + 1;
    if (end >= size) end = 0;
    for (DWORD i = 0; i < end; ++i) folder[i] = name[i];
    folder[end] = '\0';
}

bool source_readable(const char* source) {
    HANDLE file = open_existing(source, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Only a file the user may write is replaced: not a folder, a device or a
// read-only file.
bool replaceable(const char* destination, bool& exists) {
    DWORD attributes = GetFileAttributesA(destination);
    exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists) return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) return false;
    HANDLE file = open_existing(destination, GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Whether a finished copy holds as many bytes as its source: a copy cut short
// by a full disk has been seen reported as done (under Wine), and moving such
// a file over the destination would lose the older one.
bool same_size(const char* source, const char* copy) {
    WIN32_FILE_ATTRIBUTE_DATA from;
    WIN32_FILE_ATTRIBUTE_DATA to;
    if (!GetFileAttributesExA(source, GetFileExInfoStandard, &from) ||
        !GetFileAttributesExA(copy, GetFileExInfoStandard, &to))
        return false;
    return from.nFileSizeHigh == to.nFileSizeHigh && from.nFileSizeLow == to.nFileSizeLow;
}

}  // namespace

// The copy is made in a new file beside the destination and moved over it,
// so that a failed copy leaves the older destination whole. Only where the
// folder takes no new file is the destination written in place.
CopyOutcome copy_file(const char* source, const char* destination) {
    if (names_same_file(source, destination) || !source_readable(source)) return CopyOutcome::NotCopied;
    bool exists = false;
    if (!replaceable(destination, exists)) return CopyOutcome::Refused;
    char folder[MAX_PATH];
    char temporary[MAX_PATH];
    folder_of(destination, folder, MAX_PATH);
    if (GetTempFileNameA(folder[0] != '\0' ? folder : ".", "hc", 0, temporary) == 0) {
        if (!exists) return CopyOutcome::Refused;  // no file to make and none to write
        return CopyFileA(source, destination, FALSE) ? CopyOutcome::Copied : CopyOutcome::Failed;
    }
    if (CopyFileA(source, temporary, FALSE) && same_size(source, temporary) &&
        MoveFileExA(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return CopyOutcome::Copied;
    DeleteFileA(temporary);
    return CopyOutcome::Failed;
}

FileHandle open_for_write(const char* name) { return as_file(open_existing(name, GENERIC_WRITE)); }

FileHandle open_for_read(const char* name) { return as_file(open_existing(name, GENERIC_READ)); }

bool set_position(FileHandle file, std::int32_t position) {
    if (position < 0) return false;
    SetLastError(NO_ERROR);
    DWORD result = SetFilePointer(as_handle(file), position, nullptr, FILE_BEGIN);
    return result != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

std::int32_t read_bytes(FileHandle file, void* buffer, std::int32_t count) {
    DWORD got = 0;
    if (!ReadFile(as_handle(file), buffer, static_cast<DWORD>(count), &got, nullptr)) return -1;
    return static_cast<std::int32_t>(got);
}

bool write_bytes(FileHandle file, const void* data, std::int32_t count) {
    const char* bytes = static_cast<const char*>(data);
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(as_handle(file), bytes, static_cast<DWORD>(count), &written, nullptr) ||
            written == 0)
            return false;
        bytes += written;
        count -= static_cast<std::int32_t>(written);
    }
    return true;
}

CopyResult copy_bytes(FileHandle from, FileHandle to, std::int64_t limit) {
    static char block[1 << 16];
    CopyResult result;
    while (result.Copied < limit) {
        std::int64_t want = limit - result.Copied;
        if (want > static_cast<std::int64_t>(sizeof block)) want = sizeof block;
        std::int32_t got = read_bytes(from, block, static_cast<std::int32_t>(want));
        if (got < 0) result.ReadFailed = true;
        if (got <= 0) break;
        if (!write_bytes(to, block, got)) {
            result.WriteFailed = true;
            break;
        }
        result.Copied += got;
    }
    return result;
}

bool close_file(FileHandle file) { return CloseHandle(as_handle(file)) != 0; }

}  // namespace hc
