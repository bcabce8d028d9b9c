#include "c_fixture.h"

#include <cstdio>
#include <string>

#include <orvobf/archive_writer.h>
#include "temp_dir.h"

namespace {
TempDir* g_folder = nullptr;
std::string g_archive;

std::string Pattern(unsigned seed, unsigned long size) {
    std::string bytes(size, '\0');
    for (unsigned long k = 0; k < size; ++k) bytes[k] = static_cast<char>(FixtureByte(seed, k));
    return bytes;
}
}  // namespace

extern "C" const char* FixtureWrite(void) {
    g_folder = new TempDir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    g_archive = g_folder->File("flat.bf");
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
    delete g_folder;
    g_folder = nullptr;
}
