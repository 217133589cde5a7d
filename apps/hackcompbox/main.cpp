// Makes the process safe to run, reads its options (hackcomp --help), then
// builds from conf.txt in the current folder. Run without arguments it is the
// plain build.
#include "engine/options.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    hc::prepare_process();
    return hc::run_program("hackcompbox", argc, argv);
}
