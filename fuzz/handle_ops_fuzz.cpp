// Any archive bytes driven through the handle interface by a fuzzed
// sequence of open, read, seek, tell, eof, size and close on stored and
// packed entries, several handles interleaved, each checked against a plain
// reading of the same bytes:
//  - a stored entry is the file's bytes from dataBase + offset, as far as
//    the file goes; a read the file cuts short fails with BFE_FILE_IO and
//    leaves the end-of-file state alone;
//  - a packed entry is what the bounded one-call decoder makes of the
//    bytes from its start to the end of the file; an image it cannot decode
//    may fail anywhere, but never reads through to its end as a success.
// Input: a 16-bit length L, L archive bytes, then the operations.
#include <cstring>
#include <string>
#include <vector>

#include <orvobf/archive_format.h>
#include <orvobf/packed_stream.h>
#include "fuzz_support.h"

namespace {

constexpr uint32_t kMaxModelledSize = 1u << 20;

struct Entry {
    DirNode* parent;
    std::string name;
    FileRecord record;
    int64_t start;               // dataBase + offset
    bool packed;
    bool headerMatches;          // packed: the image's total is the record's size
    bool sound;                  // packed: the bounded decoder delivers it whole
    std::vector<unsigned char> content;  // stored: the bytes the file has; packed: decoded
};

struct Handle {
    FileHandle id;
    const Entry* entry;
    int64_t pos;   // within the entry
    bool eof;
    bool lost;     // a damaged image failed: its positions are no longer predictable
};

std::vector<Entry> Entries(BigFile& bf, const std::vector<unsigned char>& file) {
    static PackedStream decoder;
    static const bool ready = decoder.Init(PACKED_STREAM_VERSION) == 0;
    Require(ready);
    std::vector<Entry> entries;
    BigFileWalker walker(bf);
    WalkEntry e{};
    while (walker.Next(&e) && entries.size() < 64) {
        if (e.kind != BF_KIND_FILE) continue;
        const size_t length = std::strlen(e.name);
        // A separator or a drive prefix sends the lookup elsewhere; a long
        // name is refused by the lookup.
        if (!orvobf::format::IsBareName(e.name) || length > 259) continue;
        Entry entry{e.parent, e.name, *e.record, int64_t{bf.GetDataBase()} + e.record->offset, e.record->packed != 0,
                    false, false, {}};
        const int64_t fileLength = static_cast<int64_t>(file.size());
        const int64_t from = entry.start < fileLength ? entry.start : fileLength;
        if (!entry.packed) {
            const int64_t to = entry.start + e.record->size < fileLength ? entry.start + e.record->size : fileLength;
            if (to > from) entry.content.assign(file.begin() + from, file.begin() + to);
        } else {
            if (e.record->size > kMaxModelledSize) continue;
            const unsigned char* image = file.data() + from;
            const size_t imageLength = static_cast<size_t>(fileLength - from);
            entry.headerMatches = imageLength >= 4 && PackedStream::ImageSize(image) == static_cast<int32_t>(e.record->size);
            if (entry.headerMatches) {
                entry.content.resize(e.record->size);
                entry.sound = decoder.UnpackBuffer(image, imageLength, entry.content.data(), entry.content.size()) ==
                              static_cast<int32_t>(e.record->size);
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

void CheckState(BigFile& bf, const Handle& h) {
    const int32_t tell = bf.FileTell(h.id);
    if (h.lost) {
        Require(tell >= 0 && static_cast<uint32_t>(tell) <= h.entry->record.size);
        return;
    }
    Require(tell == static_cast<int32_t>(static_cast<uint32_t>(h.pos)));
    Require(bf.FileEof(h.id) == (h.eof ? 1 : 0));
    Require(bf.FileSize(h.id) == static_cast<int32_t>(h.entry->record.size));
}

void Read(BigFile& bf, Handle& h, uint32_t count) {
    const Entry& e = *h.entry;
    std::vector<unsigned char> buffer(count + 16, 0xA5);
    uint32_t got = 0xDEADBEEF;
    bf.SetError(0, 0);
    const int ok = bf.FileRead(h.id, buffer.data(), count, &got);
    for (uint32_t i = count; i < count + 16; ++i) Require(buffer[i] == 0xA5);
    if (h.lost) {
        // A failed packed read reports no count; a successful one no more
        // than was asked for.
        Require(ok == 0 || (ok == 1 && got <= count));
        return;
    }
    const int64_t left = int64_t{e.record.size} - h.pos;
    const uint32_t wanted = int64_t{count} > left ? static_cast<uint32_t>(left) : count;
    const bool beyond = int64_t{count} > left;

    if (e.packed && !e.sound) {
        Require(ok == 0 || ok == 1);
        if (!ok) {
            Require(bf.GetErrorCode() == BFE_PACKED_STREAM || bf.GetErrorCode() == BFE_FILE_IO);
            h.lost = true;
            return;
        }
        Require(got == wanted);
        // Claiming the last byte would claim an image that cannot be decoded.
        Require(got == 0 || h.pos + got < int64_t{e.record.size});
        h.pos += got;
        h.eof = h.eof || beyond;
        return;
    }
    if (e.packed) {
        Require(ok == 1);
        Require(got == wanted);
        Require(wanted == 0 || std::memcmp(buffer.data(), e.content.data() + h.pos, wanted) == 0);
        h.pos += wanted;
        h.eof = h.eof || beyond;
        return;
    }
    // Stored: the bytes the file holds at the position, up to the entry's end.
    const int64_t have = static_cast<int64_t>(e.content.size()) - h.pos;
    const uint32_t available = have <= 0 ? 0 : (have < int64_t{wanted} ? static_cast<uint32_t>(have) : wanted);
    Require(got == available);
    Require(available == 0 || std::memcmp(buffer.data(), e.content.data() + h.pos, available) == 0);
    h.pos += available;
    if (available < wanted) {
        Require(ok == 0 && bf.GetErrorCode() == BFE_FILE_IO && bf.GetErrorDetail() == 0);
        return;
    }
    Require(ok == 1);
    h.eof = h.eof || beyond;
}

void Seek(BigFile& bf, Handle& h, int32_t offset, int32_t origin) {
    const Entry& e = *h.entry;
    const int64_t size = e.record.size;
    int64_t target;
    switch (origin) {
        case 0: target = offset; break;
        case 1: target = h.pos + offset; break;
        case 2: target = size - offset; break;  // from the end, counted backwards
        default: target = 0; break;
    }
    bf.SetError(0, 0);
    const int ok = bf.FileSeek(h.id, offset, origin);
    if (h.lost) {
        Require(ok == 0 || ok == 1);
        return;
    }
    if (target < 0 || target > size) {
        Require(ok == 0 && bf.GetErrorCode() == 0);
        return;
    }
    if (e.packed && !e.sound && !ok) {
        Require(bf.GetErrorCode() == BFE_PACKED_STREAM);
        h.lost = true;
        return;
    }
    Require(ok == 1);
    h.pos = target;
    h.eof = false;
}

void Drive(BigFile& bf, const std::vector<Entry>& entries, InputBytes& ops) {
    std::vector<Handle> open;
    for (int step = 0; step < 256 && ops.More(); ++step) {
        const uint8_t op = ops.Byte();
        if (op % 8 == 0 || open.empty()) {
            if (entries.empty()) return;
            const Entry& e = entries[ops.Byte() % entries.size()];
            const bool text = (op & 0x80) != 0;
            if (open.size() >= 8 || (text && !e.packed)) continue;
            bf.SetCurrentDir(e.parent);
            FileHandle id = -7;
            bf.SetError(0, 0);
            const int ok = bf.FileOpen(e.name.c_str(), &id, text ? BF_MODE_TEXT : BF_MODE_BINARY);
            bf.SetCurrentDir(&bf.root);
            if (text) {
                Require(ok == 0 && id == 0 && bf.GetErrorCode() == BFE_PACKED_TEXT_MODE);
                continue;
            }
            if (e.packed && !e.headerMatches) {
                Require(ok == 0 && id == 0 && bf.GetErrorCode() == BFE_PACKED_STREAM);
                continue;
            }
            if (e.packed && !e.sound && !ok) {
                Require(id == 0 && bf.GetErrorCode() == BFE_PACKED_STREAM);
                continue;
            }
            Require(ok == 1 && id > 0);
            open.push_back(Handle{id, &e, 0, false, false});
            CheckState(bf, open.back());
            continue;
        }
        Handle& h = open[ops.Byte() % open.size()];
        switch (op % 8) {
            case 1:
            case 2: Read(bf, h, op % 8 == 1 ? ops.U16() : ops.Byte() % 4); break;
            case 3: {
                const uint8_t how = ops.Byte();
                const int32_t delta = static_cast<int16_t>(ops.U16());
                const int64_t base = how % 3 == 0 ? 0 : how % 3 == 1 ? int64_t{h.entry->record.size} : h.pos;
                Seek(bf, h, static_cast<int32_t>(base + delta), (how / 3) % 5);
                break;
            }
            case 4:
            case 5:
            case 6: break;  // tell, eof and size: checked below
            case 7: {
                Require(bf.FileClose(h.id) == 1);
                h = open.back();
                open.pop_back();
                continue;
            }
        }
        CheckState(bf, h);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t length = std::min<size_t>(data[0] | data[1] << 8, size - 2);
    const std::vector<unsigned char> file(data + 2, data + 2 + length);
    BigFile bf;
    if (OpenBytes(bf, "handle-ops", file.data(), file.size())) {
        InputBytes ops{data + 2 + length, size - 2 - length};
        Drive(bf, Entries(bf, file), ops);
    }
    bf.Close();
    return 0;
}
