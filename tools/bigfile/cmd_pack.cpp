// bigfile pack [--level L] IN OUT: packs a file into a packed image file.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <orvobf/image_writer.h>
#include <orvobf/packed_stream.h>
#include "commands.h"
#include <orvobf/name_rules.h>
#include "progress_line.h"
#include "tool_util.h"

namespace {
constexpr const char* kSynopsis = "[--level L] IN OUT";

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
            orvobf::tool::PrintCommandUsage("pack", kSynopsis, stdout);
            std::printf("Packs the file IN into the packed image OUT (files under 17 bytes are stored).\n"
                        "  -l, --level LEVEL  classic (the default, the system's own bytes), fast,\n"
                        "                     or best (smallest); every level unpacks the same way\n");
            return 0;
        }
        orvobf::tool::PrintCommandUsage("pack", kSynopsis, stderr);
        return 2;
    }
    if (argc - optind != 2) {
        orvobf::tool::PrintCommandUsage("pack", kSynopsis, stderr);
        return 2;
    }
    const char* inPath = argv[optind];
    const char* outPath = argv[optind + 1];
    orvobf::tool::ProgressLine progress;
    const auto fail = [outPath, &progress](const char* path, const std::string& what, FILE* in, FILE* out) {
        progress.Clear();
        return orvobf::tool::FailFileToFile("pack", path, what, in, out, outPath);
    };
    FILE* in = std::fopen(inPath, "rb");
    if (!in) return fail(inPath, orvobf::tool::WithReason("cannot open", orvobf::tool::SystemReason(inPath)), nullptr, nullptr);
    FILE* out = std::fopen(outPath, "wb");
    if (!out) return fail(outPath, orvobf::tool::WithReason("cannot create", std::strerror(errno)), in, nullptr);
    std::error_code sizeError;
    const uint64_t inSize = std::filesystem::file_size(inPath, sizeError);
    uint64_t done = 0;
    const orvobf::writer::SourceReader source = [&](unsigned char* buffer, size_t capacity) -> size_t {
        const size_t n = std::fread(buffer, 1, capacity, in);
        if (n == 0 && std::ferror(in)) return SIZE_MAX;
        done += n;
        progress.Update(0, 0, done, sizeError ? done : inSize);
        return n;
    };
    std::vector<unsigned char> chunk(1 << 20);
    orvobf::writer::ImageResult image;
    if (!orvobf::writer::WritePackedImage(out, 0, source, chunk, &image, level)) {
        switch (image.fault) {
        case orvobf::writer::ImageFault::SourceRead:
            return fail(inPath, orvobf::tool::WithReason("read error", orvobf::tool::SystemReason(inPath)), in, out);
        case orvobf::writer::ImageFault::TooLarge: return fail(inPath, "too large for an image (2 GiB at most)", in, out);
        case orvobf::writer::ImageFault::Output:
            return fail(outPath, orvobf::tool::WithReason("write error", std::strerror(image.outputErrno)), in, out);
        default: return fail(outPath, PackedResultText(image.packerResult), in, out);
        }
    }
    progress.Clear();
    return orvobf::tool::FinishFileToFile("pack", in, out, outPath);
}
}  // namespace

BIGFILE_COMMAND("pack", kSynopsis, "pack a file into a packed image", RunPack);
