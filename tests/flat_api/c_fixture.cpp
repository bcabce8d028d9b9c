#include "c_fixture.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include <orvobf/archive_writer.h>

namespace {
std::filesystem::path g_folder;
std::string g_archive;

std::string Pattern(unsigned seed, unsigned long size) {
    std::string bytes(size, '\0');
    for (unsigned long k = 0; k < size; ++k) bytes[k] = static_cast<char>(FixtureByte(seed, k));
    return bytes;
}
}  // namespace

extern "C" const char* FixtureWrite(void) {
    std::error_code failed;
    const auto base = std::filesystem::temp_directory_path(failed);
    if (failed) return nullptr;
    std::random_device seed;
    do g_folder = base / ("orvobf-c-" + std::to_string(seed()));
    while (!std::filesystem::create_directory(g_folder, failed) && !failed);
    if (failed) return nullptr;

    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    g_archive = (g_folder / "flat.bf").string();
    const bool ok = builder.AddFile("top.txt", FIXTURE_TOP_TEXT, &error) &&
                    builder.AddFile("Data/Big.bin", Pattern(1, FIXTURE_BIG_SIZE), &error) &&
                    builder.AddFile("Data/Empty.bin", "", &error) &&
                    builder.AddFile("Data/Sub/Deep.bin", Pattern(2, FIXTURE_DEEP_SIZE), &error) &&
                    builder.Write(g_archive, &error);
    if (!ok) {
        std::fprintf(stderr, "fixture: %s\n", error.c_str());
        return nullptr;
    }
    return g_archive.c_str();
}

extern "C" void FixtureRemove(void) {
    std::error_code ignored;
    if (!g_folder.empty()) std::filesystem::remove_all(g_folder, ignored);
}
