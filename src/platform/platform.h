// What the build needs of the operating system. One POSIX body and one Win32
// body implement it; the rest of the program includes no system header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hc {

// A file handle as the operating system gives it (a descriptor or a HANDLE).
using FileHandle = std::intptr_t;
inline constexpr FileHandle INVALID_FILE = -1;

// Makes the process safe to run however it was started: the standard
// descriptors open, a closed pipe or a file size limit a failing write rather
// than a fatal signal, an interrupted copy leaving no file behind. Called once,
// before anything else.
void prepare_process();

enum class CopyOutcome {
    Copied,
    NotCopied,  // nothing touched: no readable regular source, or the destination is the source
    Refused,    // nothing touched: the destination is not a regular file the user may write
    Failed,     // the source was read but the copy could not be made; an older destination stays as it was
};

// Copies source over destination (through a symbolic link, onto its target),
// replacing an existing destination only when it is a regular file the user
// may write. The copy is made beside the destination and renamed over it, so
// that a failed copy never leaves half a destination; only where the folder
// cannot take a new file is an existing destination written in place.
CopyOutcome copy_file(const char* source, const char* destination);

// Opens an existing regular file for writing, neither creating nor truncating
// it, positioned at 0; other processes may read it meanwhile. Anything but a
// regular file (a FIFO, a device, a folder) is refused without waiting.
FileHandle open_for_write(const char* name);

// Opens an existing regular file for reading; anything else is refused
// without waiting. A file that this process holds open for writing cannot be
// opened (as the share modes rule it on Windows).
FileHandle open_for_read(const char* name);

// Sets the absolute position of the next write.
bool set_position(FileHandle file, std::int32_t position);

// Reads up to count bytes; returns how many were read (0 at the end of the
// file) or -1 when the read failed.
std::int32_t read_bytes(FileHandle file, void* buffer, std::int32_t count);

// Writes all count bytes at the current position; false when any byte could
// not be written.
bool write_bytes(FileHandle file, const void* data, std::int32_t count);

struct CopyResult {
    std::int64_t Copied = 0;
    bool ReadFailed = false;
    bool WriteFailed = false;
};

// Copies from the current position of one file to the current position of
// another, up to limit bytes or the end of the input, by the fastest means
// the system offers.
CopyResult copy_bytes(FileHandle from, FileHandle to, std::int64_t limit);

bool close_file(FileHandle file);

// The one error sink: shows one complete message. Each program links its own
// body (standard output, or a message box).
void report_error(const char* text);

// Called once just before the program exits, after the last message.
void finish_reporting();

}  // namespace hc

namespace hc {

// The process around the build: its standard streams, its current folder.
// Writes all bytes to standard output or standard error, unbuffered.
void write_standard_output(const char* data, std::size_t count);
void write_standard_error(const char* data, std::size_t count);

// Makes folder the current folder; false when it cannot.
bool change_folder(const char* folder);

// Whether anything (a file, a folder) exists under that name.
bool name_exists(const char* name);

// Creates or replaces the file with these bytes; written beside it and
// renamed over it, so a failure leaves no half-written file.
bool write_whole_file(const char* name, const char* data, std::size_t count);

}  // namespace hc
