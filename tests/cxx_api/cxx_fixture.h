// Archives for the C++ interface's tests, written by our writer into a
// temporary folder, and what their files hold.
#ifndef ORVOBF_TESTS_CXX_FIXTURE_H
#define ORVOBF_TESTS_CXX_FIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <orvobf/archive_writer.h>
#include <orvobf/orvobf.hpp>
#include "temp_dir.h"
#include "text_contents.h"

using Files = std::map<std::string, std::string>;

inline std::string Text(const std::vector<std::byte>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
inline std::span<std::byte> AsBytes(std::string& s) { return std::as_writable_bytes(std::span(s)); }

// Writes `files` into dir/name; files under a folder called "packed" are
// packed, the rest stored.
inline std::string WriteArchive(const TempDir& dir, const std::string& name, const Files& files) {
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    for (const auto& [path, contents] : files) {
        const bool packed = path.find("packed/") != std::string::npos;
        EXPECT_TRUE(builder.AddFile(path, contents, &error,
                                    packed ? orvobf::writer::Packing::Pack : orvobf::writer::Packing::Store))
            << error;
    }
    const std::string path = dir.File(name);
    EXPECT_TRUE(builder.Write(path, &error)) << error;
    return path;
}

#endif
