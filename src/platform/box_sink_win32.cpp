// Error sink of hackcompbox: each message in a message box that holds the
// build until it is closed.
#include <windows.h>

#include "platform/platform.h"

namespace hc {

void report_error(const char* text) {
    MessageBoxA(nullptr, text, "VYX Hack Compiler Error", MB_OK | MB_ICONERROR);
}

void finish_reporting() {}

}  // namespace hc
