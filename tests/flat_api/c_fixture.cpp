#include "c_fixture.h"

#include <cstdio>
#include <map>
#include <string>

#include <orvobf/archive_writer.h>
#include "temp_dir.h"
#include "text_contents.h"

namespace {
TempDir* g_folder = nullptr;
std::string g_archive;
const std::map<std::string, std::string> kFiles = {{"top.txt", "one\r\ntwo\r\n"},
                                                   {"Data/Big.bin", Contents(200003, 1)},
                                                   {"Data/Empty.bin", ""},
                                                   {"Data/Sub/Deep.bin", Contents(1000, 2)}};
}  // namespace

extern "C" const char* FixtureWrite(void) {
    g_folder = new TempDir;
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    bool ok = true;
    for (const auto& [path, contents] : kFiles) ok = ok && builder.AddFile(path, contents, &error);
    g_archive = g_folder->File("flat.bf");
    if (!ok || !builder.Write(g_archive, &error)) {
        std::fprintf(stderr, "fixture: %s\n", error.c_str());
        return nullptr;
    }
    return g_archive.c_str();
}

extern "C" const char* FixtureContents(const char* name, unsigned long* size) {
    for (const auto& [path, contents] : kFiles) {
        if (path.substr(path.rfind('/') + 1) != name) continue;
        *size = contents.size();
        return contents.data();
    }
    return nullptr;
}

extern "C" void FixtureRemove(void) {
    delete g_folder;
    g_folder = nullptr;
}
