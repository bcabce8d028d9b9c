// bigfile pack IN OUT: packs a file into a packed image file.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "PackedStream.h"
#include "commands.h"
#include "orvobf/name_rules.h"
#include "progress_line.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[--level L] IN OUT";

// The stream's medium: the output file, written from one buffer.
struct ImageSink {
    FILE* out = nullptr;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(16384);
    bool failed = false;
    int error = 0;  // errno of the failed call

    static unsigned char* Provide(int32_t size, void* user) {
        auto* s = static_cast<ImageSink*>(user);
        if (size > 0 && std::fwrite(s->buffer.data(), static_cast<size_t>(size), 1, s->out) != 1) {
            s->error = errno;
            s->failed = true;
            return nullptr;
        }
        return s->buffer.data();
    }
    std::string Why(int32_t rc) const {
        return failed ? tool::WithReason("write error", error ? std::strerror(error) : "") : PackedResultText(rc);
    }
    static unsigned char* Rewind(int32_t offset, void* user) {
        auto* s = static_cast<ImageSink*>(user);
        if (std::fseek(s->out, offset, SEEK_SET) != 0) {
            s->error = errno;
            s->failed = true;
        }
        return nullptr;
    }
};

// `what` may carry the system's reason already (WithReason).
int Fail(const char* path, const std::string& what, FILE* in, FILE* out, const char* outPath) {
    std::fprintf(stderr, "bigfile pack: %s: %s\n", orvobf::PrintableName(path).c_str(), what.c_str());
    if (in) std::fclose(in);
    if (out) {
        std::fclose(out);
        std::remove(outPath);  // no half image left behind
    }
    return 1;
}

int RunPack(int argc, char** argv) {
    static const option options[] = {
        {"help", no_argument, nullptr, 'h'}, {"level", required_argument, nullptr, 'l'}, {nullptr, 0, nullptr, 0}};
    PackLevel level = PACKED_LEVEL_CLASSIC;
    for (int c; (c = getopt_long(argc, argv, "hl:", options, nullptr)) != -1;) {
        if (c == 'l') {
            if (ParsePackLevel(optarg, &level)) continue;
            std::fprintf(stderr, "bigfile pack: unknown level '%s' (classic, fast or best)\n",
                         orvobf::PrintableName(optarg).c_str());
            return 2;
        }
        if (c == 'h') {
            tool::PrintCommandUsage("pack", kSynopsis, stdout);
            std::printf("Packs the file IN into the packed image OUT (files under 17 bytes are stored).\n"
                        "  -l, --level LEVEL  classic (the default, the system's own bytes), fast,\n"
                        "                     or best (smallest); every level unpacks the same way\n");
            return 0;
        }
        tool::PrintCommandUsage("pack", kSynopsis, stderr);
        return 2;
    }
    if (argc - optind != 2) {
        tool::PrintCommandUsage("pack", kSynopsis, stderr);
        return 2;
    }
    const char* inPath = argv[optind];
    const char* outPath = argv[optind + 1];
    FILE* in = std::fopen(inPath, "rb");
    if (!in) return Fail(inPath, tool::WithReason("cannot open", tool::SystemReason(inPath)), nullptr, nullptr, nullptr);
    ImageSink sink;
    sink.out = std::fopen(outPath, "wb");
    if (!sink.out) return Fail(outPath, tool::WithReason("cannot create", std::strerror(errno)), in, nullptr, nullptr);
    PackedStream ps;
    int32_t rc = ps.Init(PACKED_STREAM_VERSION);
    if (rc == 0) rc = ps.SetLevel(level);
    if (rc == 0) rc = ps.SetCallbacks(ImageSink::Provide, ImageSink::Rewind, 16384, &sink);
    if (rc == 0) rc = ps.Begin(PS_MODE_WRITE);
    if (rc < 0) return Fail(outPath, PackedResultText(rc), in, sink.out, outPath);
    std::vector<unsigned char> chunk(1 << 20);
    std::error_code sizeError;
    const uint64_t inSize = std::filesystem::file_size(inPath, sizeError);
    uint64_t done = 0;
    tool::ProgressLine progress;
    for (;;) {
        // Fill the chunk as far as the file goes, so that only a file under
        // 17 bytes makes a stored image.
        size_t got = 0;
        while (got < chunk.size()) {
            const size_t n = std::fread(chunk.data() + got, 1, chunk.size() - got, in);
            if (n == 0) break;
            got += n;
        }
        if (std::ferror(in))
            return progress.Clear(), Fail(inPath, tool::WithReason("read error", tool::SystemReason(inPath)), in, sink.out, outPath);
        if (got == 0) break;
        rc = ps.Write(chunk.data(), static_cast<int32_t>(got));
        if (rc == PSE_NOT_WRITABLE) return progress.Clear(), Fail(inPath, "too large for an image (2 GiB at most)", in, sink.out, outPath);
        if (rc < 0 || sink.failed) return progress.Clear(), Fail(outPath, sink.Why(rc), in, sink.out, outPath);
        done += got;
        progress.Update(0, 0, done, sizeError ? done : inSize);
    }
    progress.Clear();
    rc = ps.End();
    if (rc < 0 || sink.failed) return Fail(outPath, sink.Why(rc), in, sink.out, outPath);
    std::fclose(in);
    if (std::fclose(sink.out) != 0) {
        const std::string why = tool::WithReason("write error", std::strerror(errno));
        std::remove(outPath);
        std::fprintf(stderr, "bigfile pack: %s: %s\n", orvobf::PrintableName(outPath).c_str(), why.c_str());
        return 1;
    }
    return 0;
}
}  // namespace

BIGFILE_COMMAND("pack", kSynopsis, "pack a file into a packed image", RunPack);
