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

int RunPack(int argc, char** argv) {
    const int used = tool::ParseHelpOnly(argc, argv, "pack", kSynopsis,
                                         "Packs the file IN into the packed image OUT (files under 17 bytes are stored).",
                                         2, 2);
    if (used >= 0) return used;
    const char* inPath = argv[optind];
    const char* outPath = argv[optind + 1];
    const auto fail = [outPath](const char* path, const std::string& what, FILE* in, FILE* out) {
        return tool::FailFileToFile("pack", path, what, in, out, outPath);
    };
    FILE* in = std::fopen(inPath, "rb");
    if (!in) return fail(inPath, tool::WithReason("cannot open", tool::SystemReason(inPath)), nullptr, nullptr);
    FILE* out = std::fopen(outPath, "wb");
    if (!out) return fail(outPath, tool::WithReason("cannot create", std::strerror(errno)), in, nullptr);
    const bfw::SourceReader source = [in](unsigned char* buffer, size_t capacity) -> size_t {
        const size_t n = std::fread(buffer, 1, capacity, in);
        return n == 0 && std::ferror(in) ? SIZE_MAX : n;
    };
    std::vector<unsigned char> chunk(1 << 20);
    bfw::ImageResult image;
    if (!bfw::WritePackedImage(out, 0, source, chunk, &image)) {
        switch (image.fault) {
        case bfw::ImageFault::SourceRead:
            return fail(inPath, tool::WithReason("read error", tool::SystemReason(inPath)), in, out);
        case bfw::ImageFault::TooLarge: return fail(inPath, "too large for an image (2 GiB at most)", in, out);
        case bfw::ImageFault::Output:
            return fail(outPath, tool::WithReason("write error", std::strerror(image.outputErrno)), in, out);
        default: return fail(outPath, PackedResultText(image.packerResult), in, out);
        }
    }
    return tool::FinishFileToFile("pack", in, out, outPath);
}
}  // namespace

BIGFILE_COMMAND("pack", kSynopsis, "pack a file into a packed image", RunPack);
