// bigfile unpack IN OUT: decodes a packed image file.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PackedStream.h"
#include "commands.h"
#include "orvobf/name_rules.h"
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
        size_t got = 0;
        while (got < want) {
            const size_t n = std::fread(s->buffer.data() + got, 1, want - got, s->in);
            if (n == 0) break;
            got += n;
        }
        if (std::ferror(s->in)) {
            s->failed = true;
            return nullptr;
        }
        if (got < want) s->stream->SetDelivered(static_cast<int32_t>(got));
        return s->buffer.data();
    }
    std::string Why(int32_t rc, const char* path) const {
        return failed ? tool::WithReason("read error", tool::SystemReason(path)) : PackedResultText(rc);
    }
    static unsigned char* Rewind(int32_t offset, void* user) {
        auto* s = static_cast<ImageSource*>(user);
        if (std::fseek(s->in, offset, SEEK_SET) != 0) s->failed = true;
        return nullptr;
    }
};

// `what` may carry the system's reason already (WithReason).
int Fail(const char* path, const std::string& what, FILE* in, FILE* out, const char* outPath) {
    std::fprintf(stderr, "bigfile unpack: %s: %s\n", orvobf::PrintableName(path).c_str(), what.c_str());
    if (in) std::fclose(in);
    if (out) {
        std::fclose(out);
        std::remove(outPath);  // no partial file passes for the contents
    }
    return 1;
}

int RunUnpack(int argc, char** argv) {
    static const option options[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, "h", options, nullptr)) != -1;) {
        if (c == 'h') {
            tool::PrintCommandUsage("unpack", kSynopsis, stdout);
            std::printf("Decodes the packed (or stored) image IN into the file OUT.\n");
            return 0;
        }
        tool::PrintCommandUsage("unpack", kSynopsis, stderr);
        return 2;
    }
    if (argc - optind != 2) {
        tool::PrintCommandUsage("unpack", kSynopsis, stderr);
        return 2;
    }
    const char* inPath = argv[optind];
    const char* outPath = argv[optind + 1];
    ImageSource source;
    source.in = std::fopen(inPath, "rb");
    if (!source.in)
        return Fail(inPath, tool::WithReason("cannot open", tool::SystemReason(inPath)), nullptr, nullptr, nullptr);
    PackedStream ps;
    source.stream = &ps;
    int32_t rc = ps.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = ps.SetCallbacks(ImageSource::Provide, ImageSource::Rewind, 16384, &source);
    const int32_t total = rc < 0 ? rc : ps.Begin(PS_MODE_READ);
    if (total < 0) return Fail(inPath, source.Why(total, inPath), source.in, nullptr, nullptr);
    FILE* out = std::fopen(outPath, "wb");
    if (!out) return Fail(outPath, tool::WithReason("cannot create", std::strerror(errno)), source.in, nullptr, nullptr);
    std::vector<unsigned char> chunk(1 << 20);
    tool::ProgressLine progress;
    for (int32_t left = total; left > 0;) {
        const int32_t n = left < static_cast<int32_t>(chunk.size()) ? left : static_cast<int32_t>(chunk.size());
        rc = ps.Read(chunk.data(), n);
        if (rc < 0) return progress.Clear(), Fail(inPath, source.Why(rc, inPath), source.in, out, outPath);
        if (std::fwrite(chunk.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n))
            return progress.Clear(), Fail(outPath, tool::WithReason("write error", std::strerror(errno)), source.in, out, outPath);
        left -= n;
        progress.Update(0, 0, static_cast<uint64_t>(total - left), static_cast<uint64_t>(total));
    }
    progress.Clear();
    ps.End();
    std::fclose(source.in);
    if (std::fclose(out) != 0) {
        const std::string why = tool::WithReason("write error", std::strerror(errno));
        std::remove(outPath);
        std::fprintf(stderr, "bigfile unpack: %s: %s\n", orvobf::PrintableName(outPath).c_str(), why.c_str());
        return 1;
    }
    return 0;
}
}  // namespace

BIGFILE_COMMAND("unpack", kSynopsis, "decode a packed image file", RunUnpack);
