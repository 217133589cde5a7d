#include "engine/codec_commands.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "engine/hack_build.h"
#include "lzss/file_bytes.h"
#include "lzss/lzss_decoder.h"
#include "lzss/lzss_encoder.h"
#include "platform/platform.h"

namespace hc {
namespace {

constexpr std::int32_t LENGTH_HEADER_SIZE = 2;
// What `D` at position 0 has room for.
constexpr std::int64_t LONGEST_STREAM = std::numeric_limits<std::int32_t>::max();

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// The one line a failure prints, after the program's name.
int fail(const std::string& program, const std::string& text) {
    std::string line = program + ": " + text + "\n";
    write_standard_error(line.data(), line.size());
    return 1;
}

// The output under its temporary name until it is complete.
struct OutputFile {
    std::string Name;
    std::string Temporary;
    FileHandle File = INVALID_FILE;
};

bool create_output(OutputFile& output, const std::string& name) {
    output.Name = name;
    output.File = create_beside(name.c_str(), output.Temporary);
    return output.File != INVALID_FILE;
}

void discard_output(OutputFile& output) {
    if (output.File == INVALID_FILE) return;
    close_file(output.File);
    remove_file(output.Temporary.c_str());
    output.File = INVALID_FILE;
}

// Closes the complete output and puts it in its place.
bool place_output(OutputFile& output) {
    bool closed = close_file(output.File);
    output.File = INVALID_FILE;
    if (closed && rename_over(output.Temporary.c_str(), output.Name.c_str())) return true;
    remove_file(output.Temporary.c_str());
    return false;
}

// Opens the input and makes sure the output would not replace it. On
// success the input is open and the caller closes it.
int open_input(const std::string& program, const std::string& input_name, const std::string& output_name,
               FileHandle& input) {
    input = open_for_read(input_name.c_str());
    if (input == INVALID_FILE) return fail(program, "Can't open " + quoted(input_name));
    if (names_same_file(input_name.c_str(), output_name.c_str())) {
        close_file(input);
        return fail(program, "Output is the input file " + quoted(output_name));
    }
    return 0;
}

// --- pack ---

struct PackWork {
    LzssEncoderPtr Encoder = make_lzss_encoder();
    TransferBlock InputBlock;
    TransferBlock OutputBlock;
    std::vector<unsigned char> Held;
};

void encode_into(PackWork& work, FileTransfer& transfer, ByteSink sink) {
    encode(*work.Encoder, file_byte_source, &transfer, sink, &transfer);
}

// Mode 'A' gathers the stream first, as `D` does, so that a stream too long
// for the header writes nothing.
void pack_headed(PackWork& work, FileTransfer& transfer) {
    transfer.Room = MAX_HEADED_STREAM;
    work.Held.resize(LENGTH_HEADER_SIZE + MAX_HEADED_STREAM);
    transfer.Held = work.Held.data() + LENGTH_HEADER_SIZE;
    encode_into(work, transfer, held_byte_sink);
    if (transfer_failed(transfer)) return;
    std::int32_t length = transfer.HeldCount + LENGTH_HEADER_SIZE;
    work.Held[0] = static_cast<unsigned char>(length >> 8);
    work.Held[1] = static_cast<unsigned char>(length);
    transfer.WriteFailed = !write_bytes(transfer.Output, work.Held.data(), length);
}

void pack_plain(PackWork& work, FileTransfer& transfer) {
    transfer.Room = LONGEST_STREAM;
    encode_into(work, transfer, file_byte_sink);
    flush_output(transfer);
}

int pack_opened(const PackRequest& request, FileHandle input, OutputFile& output) {
    auto work = std::make_unique<PackWork>();
    FileTransfer transfer;
    transfer.Input = input;
    transfer.Output = output.File;
    transfer.InputBlock = &work->InputBlock;
    transfer.OutputBlock = &work->OutputBlock;
    if (request.Mode == 'A')
        pack_headed(*work, transfer);
    else
        pack_plain(*work, transfer);
    if (transfer.ReadFailed) return fail(request.Program, "Can't read " + quoted(request.Input));
    if (transfer.WriteFailed) return fail(request.Program, "Can't write " + quoted(request.Output));
    if (transfer.OutOfRoom) return fail(request.Program, "Data too long " + quoted(request.Input));
    return 0;
}

// --- unpack ---

struct UnpackWork {
    LzssDecoder Decoder;
    TransferBlock InputBlock;
    FileHandle Output = INVALID_FILE;
};

bool write_block(void* context, const unsigned char* bytes, std::int32_t count) {
    return write_bytes(static_cast<UnpackWork*>(context)->Output, bytes, count);
}

// Reads exactly count bytes, fewer only at the end of the file; -1 when a
// read failed.
std::int32_t read_fully(FileHandle file, unsigned char* buffer, std::int32_t count) {
    std::int32_t got = 0;
    while (got < count) {
        std::int32_t now = read_bytes(file, buffer + got, count - got);
        if (now < 0) return -1;
        if (now == 0) break;
        got += now;
    }
    return got;
}

// Finds where the stream ends: the input is positioned at its first byte
// and stream_length says how long it is.
int locate_stream(const UnpackRequest& request, FileHandle input, std::int64_t& stream_length) {
    const std::string name = quoted(request.Input);
    std::int64_t size = file_size(input);
    if (size < 0) return fail(request.Program, "Can't read " + name);
    if (request.At > size) return fail(request.Program, "Offset past the end of " + name);
    if (request.At > std::numeric_limits<std::int32_t>::max() ||
        !set_position(input, static_cast<std::int32_t>(request.At)))
        return fail(request.Program, "Can't read " + name);
    std::int64_t left = size - request.At;
    if (request.Mode == 'A') {
        unsigned char header[LENGTH_HEADER_SIZE];
        std::int32_t got = read_fully(input, header, LENGTH_HEADER_SIZE);
        if (got < 0) return fail(request.Program, "Can't read " + name);
        if (got < LENGTH_HEADER_SIZE) return fail(request.Program, "Length header past the end of " + name);
        std::int64_t length = header[0] << 8 | header[1];
        if (length < LENGTH_HEADER_SIZE) return fail(request.Program, "Stream length below 2 in " + name);
        if (length > left) return fail(request.Program, "Stream past the end of " + name);
        stream_length = length - LENGTH_HEADER_SIZE;
        return 0;
    }
    if (request.Length != NOT_GIVEN && request.Length > left) return fail(request.Program, "Stream past the end of " + name);
    stream_length = request.Length != NOT_GIVEN ? request.Length : left;
    return 0;
}

int decode_from(const UnpackRequest& request, FileHandle input, std::int64_t stream_length,
                  UnpackWork& work) {
    const std::string name = quoted(request.Input);
    LzssDecoder& decoder = work.Decoder;
    decoder.sink = write_block;
    decoder.sink_context = &work;
    start_decoding(decoder, request.Size != NOT_GIVEN ? request.Size : std::numeric_limits<std::int64_t>::max());
    DecodeStop stop = DecodeStop::NeedInput;
    while (stream_length > 0 && stop == DecodeStop::NeedInput) {
        auto want = static_cast<std::int32_t>(std::min<std::int64_t>(stream_length, TRANSFER_BLOCK));
        std::int32_t got = read_fully(input, work.InputBlock.Bytes, want);
        if (got != want) return fail(request.Program, "Can't read " + name);  // the file shrank under us, or failed
        stream_length -= got;
        std::int32_t consumed = 0;
        stop = decode_bytes(decoder, work.InputBlock.Bytes, got, consumed);
    }
    if (stop == DecodeStop::SinkFailed || !flush_decoded(decoder))
        return fail(request.Program, "Can't write " + quoted(request.Output));
    if (stop == DecodeStop::LimitReached) return 0;
    if (ends_inside_item(decoder)) return fail(request.Program, "Stream ends inside an item in " + name);
    if (request.Size != NOT_GIVEN && decoder.produced < request.Size)
        return fail(request.Program, "Stream ends before --size bytes in " + name);
    return 0;
}

int unpack_opened(const UnpackRequest& request, FileHandle input, OutputFile& output) {
    auto work = std::make_unique<UnpackWork>();
    work->Output = output.File;
    std::int64_t stream_length = 0;
    int status = locate_stream(request, input, stream_length);
    if (status != 0) return status;
    return decode_from(request, input, stream_length, *work);
}


// The frame both commands share: open, create, work, and put the output in
// place only when the work succeeded.
template <typename Request>
int run_codec(const Request& request, int (*work)(const Request&, FileHandle, OutputFile&)) {
    FileHandle input = INVALID_FILE;
    int status = open_input(request.Program, request.Input, request.Output, input);
    if (status != 0) return status;
    OutputFile output;
    if (!create_output(output, request.Output)) {
        close_file(input);
        return fail(request.Program, "Can't write " + quoted(request.Output));
    }
    status = work(request, input, output);
    close_file(input);
    if (status != 0) {
        discard_output(output);
        return status;
    }
    if (!place_output(output)) return fail(request.Program, "Can't write " + quoted(request.Output));
    return 0;
}

}  // namespace

int pack_file(const PackRequest& request) { return run_codec(request, pack_opened); }

int unpack_file(const UnpackRequest& request) { return run_codec(request, unpack_opened); }

}  // namespace hc
