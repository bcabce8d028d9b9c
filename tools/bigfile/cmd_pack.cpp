// bigfile pack IN OUT: packs a file into a packed image file.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ImageWriter.h"
#include "PackedStream.h"
#include "commands.h"
#include "orvobf/name_rules.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "IN OUT";

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
    static const option options[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    for (int c; (c = getopt_long(argc, argv, "h", options, nullptr)) != -1;) {
        if (c == 'h') {
            tool::PrintCommandUsage("pack", kSynopsis, stdout);
            std::printf("Packs the file IN into the packed image OUT (files under 17 bytes are stored).\n");
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
    FILE* out = std::fopen(outPath, "wb");
    if (!out) return Fail(outPath, tool::WithReason("cannot create", std::strerror(errno)), in, nullptr, nullptr);
    const bfw::SourceReader source = [in](unsigned char* buffer, size_t capacity) -> size_t {
        const size_t n = std::fread(buffer, 1, capacity, in);
        return n == 0 && std::ferror(in) ? SIZE_MAX : n;
    };
    std::vector<unsigned char> chunk(1 << 20);
    bfw::ImageResult image;
    if (!bfw::WritePackedImage(out, 0, source, chunk, &image)) {
        switch (image.fault) {
        case bfw::ImageFault::SourceRead:
            return Fail(inPath, tool::WithReason("read error", tool::SystemReason(inPath)), in, out, outPath);
        case bfw::ImageFault::TooLarge: return Fail(inPath, "too large for an image (2 GiB at most)", in, out, outPath);
        case bfw::ImageFault::Output:
            return Fail(outPath, tool::WithReason("write error", std::strerror(image.outputErrno)), in, out, outPath);
        default: return Fail(outPath, PackedResultText(image.packerResult), in, out, outPath);
        }
    }
    std::fclose(in);
    if (std::fclose(out) != 0) {
        const std::string why = tool::WithReason("write error", std::strerror(errno));
        std::remove(outPath);
        std::fprintf(stderr, "bigfile pack: %s: %s\n", orvobf::PrintableName(outPath).c_str(), why.c_str());
        return 1;
    }
    return 0;
}
}  // namespace

BIGFILE_COMMAND("pack", kSynopsis, "pack a file into a packed image", RunPack);
