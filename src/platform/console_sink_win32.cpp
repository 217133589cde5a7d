// Error sink of hackcomp: each message on standard output, byte for byte.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace hc {
namespace {

bool printed_any = false;

void write_to_stdout(const char* text, DWORD length) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(out, text, length, &written, nullptr) || written == 0) return;
        text += written;
        length -= written;
    }
}

}  // namespace

void report_error(const char* text) {
    write_to_stdout(text, static_cast<DWORD>(std::strlen(text)));
    printed_any = true;
}

void finish_reporting() {
    // On a console, end the line of messages; redirected output stays exact.
    if (printed_any && GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR)
        write_to_stdout("\r\n", 2);
}

}  // namespace hc
