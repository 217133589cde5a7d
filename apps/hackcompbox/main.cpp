// The program takes no arguments and reads no environment: the build script
// is always conf.txt in the current folder.
#include "engine/hack_build.h"
#include "platform/platform.h"

int main() {
    hc::prepare_process();
    return hc::run_build();
}
