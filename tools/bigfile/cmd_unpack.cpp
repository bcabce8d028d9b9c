// bigfile unpack IN OUT: decodes a packed image file.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <orvobf/packed_stream.h>
#include "commands.h"
#include <orvobf/name_rules.h>
#include "progress_line.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "IN OUT";

// The stream's medium: the image file, read into one buffer; a short read
// tells the stream how much the file really had.
struct ImageSource {
    FILE* in = nullptr;
    PackedStream* stream = nullptr;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(16384);
    bool failed = false;

    static unsigned char* Provide(int32_t size, void* user) {
        auto* s = static_cast<ImageSource*>(user);
        const size_t want = static_cast<size_t>(size);
        const size_t got = std::fread(s->buffer.data(), 1, want, s->in);  // short only at the end or on an error
        if (std::ferror(s->in)) {
            s->failed = true;
            return nullptr;
        }
        if (got < want) s->stream->SetDelivered(static_cast<int32_t>(got));
        return s->buffer.data();
    }
    std::string Why(int32_t rc, const char* path) const {
        return failed ? orvobf::tool::WithReason("read error", orvobf::tool::SystemReason(path)) : PackedResultText(rc);
    }
    // A damaged image is the failure of what was to be unpacked; a file
    // that cannot be read is trouble.
    int Code() const { return failed ? orvobf::tool::kExitTrouble : orvobf::tool::kExitSomeFailed; }
    static unsigned char* Rewind(int32_t offset, void* user) {
        auto* s = static_cast<ImageSource*>(user);
        if (std::fseek(s->in, offset, SEEK_SET) != 0) s->failed = true;
        return nullptr;
    }
};

int RunUnpack(int argc, char** argv) {
    const int used = orvobf::tool::ParseHelpOnly(argc, argv, "unpack", kSynopsis,
                                         "Decodes the packed (or stored) image IN into the file OUT.", 2, 2);
    if (used >= 0) return used;
    const char* inPath = argv[optind];
    const char* outPath = argv[optind + 1];
    const auto fail = [outPath](const char* path, const std::string& what, FILE* in, FILE* out,
                                int code = orvobf::tool::kExitTrouble) {
        return orvobf::tool::FailFileToFile("unpack", path, what, in, out, outPath, code);
    };
    ImageSource source;
    source.in = std::fopen(inPath, "rb");
    if (!source.in) return fail(inPath, orvobf::tool::WithReason("cannot open", orvobf::tool::SystemReason(inPath)), nullptr, nullptr);
    PackedStream ps;
    source.stream = &ps;
    int32_t rc = ps.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = ps.SetCallbacks(ImageSource::Provide, ImageSource::Rewind, 16384, &source);
    const int32_t total = rc < 0 ? rc : ps.Begin(PS_MODE_READ);
    if (total < 0) return fail(inPath, source.Why(total, inPath), source.in, nullptr, source.Code());
    FILE* out = std::fopen(outPath, "wb");
    if (!out) return fail(outPath, orvobf::tool::WithReason("cannot create", std::strerror(errno)), source.in, nullptr);
    std::vector<unsigned char> chunk(1 << 20);
    orvobf::tool::ProgressLine progress;
    for (int32_t left = total; left > 0;) {
        const int32_t n = left < static_cast<int32_t>(chunk.size()) ? left : static_cast<int32_t>(chunk.size());
        rc = ps.Read(chunk.data(), n);
        if (rc < 0) return progress.Clear(), fail(inPath, source.Why(rc, inPath), source.in, out, source.Code());
        if (std::fwrite(chunk.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n))
            return progress.Clear(), fail(outPath, orvobf::tool::WithReason("write error", std::strerror(errno)), source.in, out);
        left -= n;
        progress.Update(0, 0, static_cast<uint64_t>(total - left), static_cast<uint64_t>(total));
    }
    progress.Clear();
    ps.End();
    return orvobf::tool::FinishFileToFile("unpack", source.in, out, outPath);
}
}  // namespace

BIGFILE_COMMAND("unpack", kSynopsis, "decode a packed image file", RunUnpack);
