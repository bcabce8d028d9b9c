// An archive written by our writer into a temporary folder, opened.
#ifndef ORVOBF_TESTS_FILEIO_FIXTURE_H
#define ORVOBF_TESTS_FILEIO_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"

class ArchiveFixture : public ::testing::Test {
protected:
    // Writes `files` (archive path -> contents) and opens the archive;
    // `packing` picks each file's storage (stored when absent).
    void Make(const std::map<std::string, std::string>& files,
              const std::function<orvobf::writer::Packing(const std::string&)>& packing = nullptr) {
        orvobf::writer::ArchiveBuilder builder;
        std::string error;
        for (const auto& [path, contents] : files)
            ASSERT_TRUE(builder.AddFile(path, contents, &error, packing ? packing(path) : orvobf::writer::Packing::Store))
                << error;
        archive = dir.File("a.bf");
        ASSERT_TRUE(builder.Write(archive, &error)) << error;
        ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
        ASSERT_EQ(bf.Open(archive.c_str(), 0), 1) << bf.GetLastErrorText();
    }

    FileHandle OpenOk(const char* path, uint32_t mode = BF_MODE_BINARY) {
        FileHandle h = 0;
        EXPECT_EQ(bf.FileOpen(path, &h, mode), 1) << path << ": " << bf.GetLastErrorText();
        return h;
    }

    std::string Read(FileHandle h, uint32_t count) {
        std::string out(count, '\0');
        uint32_t got = 0;
        EXPECT_EQ(bf.FileRead(h, out.data(), count, &got), 1) << bf.GetLastErrorText();
        out.resize(got);
        return out;
    }

    TempDir dir;
    std::string archive;
    BigFile bf;
};

#endif
