// An archive written by our writer into a temporary folder, opened.
#ifndef ORVOBF_TESTS_FILEIO_FIXTURE_H
#define ORVOBF_TESTS_FILEIO_FIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <string>

#include <orvobf/archive_writer.h>
#include <orvobf/ORVOBF.H>
#include "temp_dir.h"
#include "text_contents.h"

class ArchiveFixture : public ::testing::Test {
protected:
    // Writes `files` (archive path -> contents) and opens the archive; the
    // files whose path begins with `packedUnder` (when given) are packed,
    // the others stored.
    void Make(const std::map<std::string, std::string>& files, const std::string& packedUnder = "") {
        orvobf::writer::ArchiveBuilder builder;
        std::string error;
        for (const auto& [path, contents] : files) {
            const bool packed = !packedUnder.empty() && path.rfind(packedUnder, 0) == 0;
            ASSERT_TRUE(builder.AddFile(path, contents, &error,
                                        packed ? orvobf::writer::Packing::Pack : orvobf::writer::Packing::Store))
                << error;
        }
        archive = dir.File("a.bf");
        ASSERT_TRUE(builder.Write(archive, &error)) << error;
        ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
        ASSERT_EQ(bf.Open(archive.c_str(), 0), 1) << bf.GetLastErrorText();
    }

    // Writes a layout of any shape and opens it.
    void Make(const orvobf::writer::RawArchive& raw) {
        archive = dir.Write("raw.bf", raw.bytes());
        ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
        ASSERT_EQ(bf.Open(archive.c_str(), 0), 1) << bf.GetLastErrorText();
    }

    FileHandle OpenOk(const char* path, uint32_t mode = BF_MODE_BINARY) {
        FileHandle h = 0;
        EXPECT_EQ(bf.FileOpen(path, &h, mode), 1) << path << ": " << bf.GetLastErrorText();
        return h;
    }

    // The error code of an open that must fail (0: none), which must leave
    // the handle at 0.
    int32_t FailedOpen(const std::string& path, uint32_t mode = BF_MODE_BINARY) {
        bf.SetError(0, 0);
        FileHandle h = 99;
        EXPECT_EQ(bf.FileOpen(path.c_str(), &h, mode), 0) << path;
        EXPECT_EQ(h, 0) << path;
        return bf.GetErrorCode();
    }

    // What a read of `count` bytes delivers; it must succeed unless `ok` is
    // given to take the result.
    std::string Read(FileHandle h, uint32_t count, int* ok = nullptr) {
        std::string out(count, '\0');
        uint32_t got = 0;
        const int result = bf.FileRead(h, out.data(), count, &got);
        if (ok) *ok = result;
        else EXPECT_EQ(result, 1) << bf.GetLastErrorText();
        out.resize(got);
        return out;
    }

    TempDir dir;
    std::string archive;
    BigFile bf;
};

#endif
