// Reads its options (hackcomp --help), then builds from conf.txt in the
// current folder. Run without arguments it is the plain build.
#include "engine/options.h"

int main(int argc, char** argv) { return hc::run_program("hackcomp", argc, argv); }
