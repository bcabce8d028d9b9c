#include <cstring>
#include <string>

#include <orvobf/archive_writer.h>
#include "read_archive.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    if (std::strcmp(argv[1], "read") == 0) return ReadArchive(argv[2]);
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    if (!builder.AddFile("dir/hello", "hello", &error) || !builder.AddFile("top", "", &error) ||
        !builder.Write(argv[2], &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
