// Archives for tests, written by our writer into a temporary folder: a
// valid one from a map of paths to contents, or a raw layout of any shape.
#ifndef ORVOBF_TESTS_ARCHIVE_FILES_H
#define ORVOBF_TESTS_ARCHIVE_FILES_H

#include <gtest/gtest.h>

#include <map>
#include <string>

#include <orvobf/archive_writer.h>
#include "temp_dir.h"

using Files = std::map<std::string, std::string>;

// Writes `files` into dir/name and returns its path: a file below a folder
// called "packed" is packed, the others stored; a path ending in '/' is an
// empty folder.
inline std::string WriteArchive(const TempDir& dir, const std::string& name, const Files& files) {
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (const auto& [path, contents] : files) {
        const bool packed = path.find("packed/") != std::string::npos;
        EXPECT_TRUE(path.ends_with('/') ? builder.AddDirectory(path.substr(0, path.size() - 1), &error)
                                        : builder.AddFile(path, contents, &error,
                                                          packed ? orvobf::writer::Packing::Pack
                                                                 : orvobf::writer::Packing::Store))
            << error;
    }
    EXPECT_TRUE(builder.Write(dir.File(name), &error)) << error;
    return dir.File(name);
}

inline std::string WriteArchive(const TempDir& dir, const std::string& name, const orvobf::writer::RawArchive& raw) {
    std::string error;
    EXPECT_TRUE(raw.WriteTo(dir.File(name), &error)) << error;
    return dir.File(name);
}

#endif
