#include <cstring>
#include <string>

#include <orvobf/archive_writer.h>
#include <orvobf/orvobf.hpp>
#include "read_archive.h"

// The same line as ReadArchive, through the C++ interface.
int ReadArchiveCxx(const char* path) {
    std::error_code ec;
    const orvobf::Archive archive = orvobf::Archive::open(path, ec);
    const std::vector<std::byte> text = archive.read_all("dir/hello", ec);
    if (ec) {
        std::fprintf(stderr, "%s\n", ec.message().c_str());
        return 1;
    }
    std::printf("%u files, %u directories, %.*s\n", archive.file_count(), archive.dir_count(),
                static_cast<int>(text.size()), reinterpret_cast<const char*>(text.data()));
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    if (std::strcmp(argv[1], "read") == 0) return ReadArchive(argv[2]);
    if (std::strcmp(argv[1], "read-cxx") == 0) return ReadArchiveCxx(argv[2]);
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    if (!builder.AddFile("dir/hello", "hello", &error) || !builder.AddFile("top", "", &error) ||
        !builder.Write(argv[2], &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
