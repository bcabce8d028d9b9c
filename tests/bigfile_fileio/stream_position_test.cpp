// Entries at archive position 0: with dataBase 0 an entry may start at the
// header's first byte. Whatever moved the shared archive stream last, a
// stored read of such an entry must deliver the file's own bytes there.
#include <functional>
#include <vector>

#include "fileio_fixture.h"
#include "memory_medium.h"

namespace {

using StreamPosition = ArchiveFixture;

TEST_F(StreamPosition, EntryAtPositionZeroReadsTheHeaderAfterAnyOtherStep) {
    // Root: "bad" (packed, its image names another size), "hdr" (stored at
    // 0, the signature), "pk" (packed), "tail" (stored). Data after the
    // directory: tail's bytes, pk's image.
    const std::string text = "packed packed packed packed packed entry";
    PackedStream packer;
    ASSERT_EQ(packer.Init(PACKED_STREAM_VERSION), 0);
    const Bytes image = PackImage(packer, Bytes(text.begin(), text.end()));
    ASSERT_GT(image.size(), 4u);

    // The data offsets are known once the directory's length is.
    const auto layout = [&](uint32_t tailData, uint32_t imageData) {
        orvobf::writer::RawArchive a;
        a.Header(0, 4, 32, 0).Block(4).File("bad", 7, imageData, 1).File("hdr", 16, 0);
        a.File("pk", static_cast<uint32_t>(text.size()), imageData, 1).File("tail", 8, tailData);
        return a;
    };
    const auto directoryEnd = static_cast<uint32_t>(layout(0, 0).size());
    Make(layout(directoryEnd, directoryEnd + 8).Bytes("TAILDATA").Bytes(std::string(image.begin(), image.end())));
    FileHandle tail = OpenOk("tail");
    ASSERT_EQ(Read(tail, 8), "TAILDATA");
    FileHandle pk = 0;

    // Each step moves the archive stream away from 0 and ends with the
    // operation that forgets where it stands.
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"stored open", [&] {
             ASSERT_EQ(bf.FileSeek(tail, 0, 0), 1);
             ASSERT_EQ(Read(tail, 3), "TAI");
             bf.FileClose(OpenOk("tail"));
         }},
        {"stored seek", [&] { ASSERT_EQ(bf.FileSeek(tail, 2, 0), 1); }},
        {"packed open", [&] { pk = OpenOk("pk"); }},
        {"packed read", [&] { ASSERT_EQ(Read(pk, 10), text.substr(0, 10)); }},
        {"packed seek", [&] { ASSERT_EQ(bf.FileSeek(pk, 20, 0), 1); }},
        {"packed close", [&] {
             ASSERT_EQ(Read(pk, 5), text.substr(20, 5));
             bf.FileClose(pk);
         }},
        {"failed packed open", [&] {
             FileHandle h = 0;
             EXPECT_EQ(bf.FileOpen("bad", &h, BF_MODE_BINARY), 0);
             EXPECT_EQ(bf.GetErrorCode(), BFE_PACKED_STREAM);
         }},
    };
    for (const auto& [what, step] : steps) {
        FileHandle zero = OpenOk("hdr");
        step();
        int ok = 0;
        EXPECT_EQ(Read(zero, 16, &ok), orvobf::format::kSignature) << "after " << what;
        EXPECT_EQ(ok, 1) << what << ": " << bf.GetLastErrorText();
        bf.FileClose(zero);
    }

    // Two handles at 0 in turns, each from its own position.
    FileHandle x = OpenOk("hdr"), y = OpenOk("hdr");
    EXPECT_EQ(Read(x, 6), "OrvoBF");
    EXPECT_EQ(Read(y, 4), "Orvo");
    EXPECT_EQ(Read(x, 3), " - ");
    EXPECT_EQ(Read(y, 2), "BF");
}

}  // namespace
