// Without --pack or --unpack the program builds from conf.txt in the current
// folder and ignores its arguments, as it always did.
#include "engine/codec_options.h"
#include "engine/hack_build.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    hc::prepare_process();
    hc::CodecCommand codec = hc::parse_codec_command("hackcomp", argc, argv);
    if (codec.Kind != hc::CodecKind::None) return hc::run_codec_command(codec, "hackcomp");
    return hc::run_build();
}
