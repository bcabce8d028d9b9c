// Entries at archive position 0: with dataBase 0 an entry may start at the
// header's first byte. Whatever moved the shared archive stream last, a
// stored read of such an entry must deliver the file's own bytes there.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <orvobf/ORVOBF.H>
#include <orvobf/packed_stream.h>
#include <orvobf/archive_writer.h>
#include "temp_dir.h"

namespace {

std::string Read(BigFile& bf, FileHandle h, uint32_t count, int* ok = nullptr) {
    std::string out(count, '\0');
    uint32_t got = 0;
    const int result = bf.FileRead(h, out.data(), count, &got);
    if (ok) *ok = result;
    out.resize(got);
    return out;
}

TEST(StreamPosition, EntryAtPositionZeroReadsTheHeaderAfterAnyOtherStep) {
    // Root: "bad" (packed, its image names another size), "hdr" (stored at
    // 0, the signature), "pk" (packed), "tail" (stored). Data after the
    // directory: tail's bytes, pk's image.
    const std::string text = "packed packed packed packed packed entry";
    std::vector<unsigned char> image(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(text.size()))));
    PackedStream packer;
    ASSERT_EQ(packer.Init(PACKED_STREAM_VERSION), 0);
    const int32_t body = packer.PackBuffer(reinterpret_cast<const unsigned char*>(text.data()), image.data(),
                                           static_cast<int32_t>(text.size()));
    ASSERT_GT(body, 0);
    image.resize(4 + static_cast<size_t>(body));

    // The data offsets are known once the directory's length is.
    const auto archive = [&](uint32_t tailData, uint32_t imageData) {
        orvobf::writer::RawArchive a;
        a.Header(0, 4, 32, 0).Block(4).File("bad", 7, imageData, 1).File("hdr", 16, 0);
        a.File("pk", static_cast<uint32_t>(text.size()), imageData, 1).File("tail", 8, tailData);
        return a;
    };
    const auto directoryEnd = static_cast<uint32_t>(archive(0, 0).size());
    orvobf::writer::RawArchive a = archive(directoryEnd, directoryEnd + 8);
    a.Bytes("TAILDATA").Bytes(std::string(image.begin(), image.end()));
    TempDir dir;
    const std::string file = dir.Write("zero.bf", a.bytes());

    BigFile bf;
    ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
    ASSERT_EQ(bf.Open(file.c_str(), 0), 1) << bf.GetLastErrorText();
    auto open = [&](const char* name) {
        FileHandle h = 0;
        EXPECT_EQ(bf.FileOpen(name, &h, BF_MODE_BINARY), 1) << name << ": " << bf.GetLastErrorText();
        return h;
    };
    FileHandle tail = open("tail");
    ASSERT_EQ(Read(bf, tail, 8), "TAILDATA");
    FileHandle pk = 0;

    // Each step moves the archive stream away from 0 and ends with the
    // operation that forgets where it stands.
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"stored open", [&] {
             ASSERT_EQ(bf.FileSeek(tail, 0, 0), 1);
             ASSERT_EQ(Read(bf, tail, 3), "TAI");
             bf.FileClose(open("tail"));
         }},
        {"stored seek", [&] { ASSERT_EQ(bf.FileSeek(tail, 2, 0), 1); }},
        {"packed open", [&] { pk = open("pk"); }},
        {"packed read", [&] { ASSERT_EQ(Read(bf, pk, 10), text.substr(0, 10)); }},
        {"packed seek", [&] { ASSERT_EQ(bf.FileSeek(pk, 20, 0), 1); }},
        {"packed close", [&] {
             ASSERT_EQ(Read(bf, pk, 5), text.substr(20, 5));
             bf.FileClose(pk);
         }},
        {"failed packed open", [&] {
             FileHandle h = 0;
             EXPECT_EQ(bf.FileOpen("bad", &h, BF_MODE_BINARY), 0);
             EXPECT_EQ(bf.GetErrorCode(), BFE_PACKED_STREAM);
         }},
    };
    for (const auto& [what, step] : steps) {
        FileHandle zero = open("hdr");
        step();
        int ok = 0;
        EXPECT_EQ(Read(bf, zero, 16, &ok), orvobf::format::kSignature) << "after " << what;
        EXPECT_EQ(ok, 1) << what << ": " << bf.GetLastErrorText();
        bf.FileClose(zero);
    }

    // Two handles at 0 in turns, each from its own position.
    FileHandle x = open("hdr"), y = open("hdr");
    EXPECT_EQ(Read(bf, x, 6), "OrvoBF");
    EXPECT_EQ(Read(bf, y, 4), "Orvo");
    EXPECT_EQ(Read(bf, x, 3), " - ");
    EXPECT_EQ(Read(bf, y, 2), "BF");
}

}  // namespace
