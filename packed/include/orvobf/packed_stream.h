// Packed images: a signed header word (>= 0 packed, total size; < 0
// stored, total size negated) and a body of LZ symbols over a 1024-byte
// window, read from 32-bit little-endian code words, bit 31 first.
#ifndef ORVOBF_PACKED_STREAM_H
#define ORVOBF_PACKED_STREAM_H

#include <cstddef>
#include <cstdint>

constexpr int32_t PACKED_STREAM_VERSION = 10000;
constexpr int32_t PACKED_WINDOW_SIZE = 1024;
constexpr int32_t PACKED_MAX_MATCH = 17;

constexpr int32_t PS_MODE_WRITE = 0;
constexpr int32_t PS_MODE_READ = 1;

constexpr int32_t PS_WRITE_PACKED = 0;
constexpr int32_t PS_READ_PACKED = 1;
constexpr int32_t PS_READ_STORED = 2;
constexpr int32_t PS_WRITE_STORED = 3;

constexpr int32_t PSE_BAD_VERSION = -1;
constexpr int32_t PSE_NO_MEMORY = -2;
constexpr int32_t PSE_NO_CALLBACK = -3;
constexpr int32_t PSE_NOT_READABLE = -4;
constexpr int32_t PSE_NOT_WRITABLE = -5;
constexpr int32_t PSE_BAD_STATE = -6;
constexpr int32_t PSE_BUFFER_TOO_SMALL = -7;
constexpr int32_t PSE_NO_BUFFER = -8;
// The image cannot deliver what is asked: header word -2^31, a body that
// ends (end marker, or no more input) before the total size, or a
// destination too small for it.
constexpr int32_t PSE_DAMAGED = -9;
// SetLevel or PackBuffer was given a value that names no PackLevel.
constexpr int32_t PSE_BAD_LEVEL = -10;

// A short English text for a PSE_* result ("" for success values).
const char* PackedResultText(int32_t result);

// How hard a packing writer searches. Every level makes images that every
// decoder reads; only classic makes the system's own bytes.
enum PackLevel : int32_t {
    // The match tree: greedy over the longest match within 1007 bytes,
    // the bytes images have always had.
    PACKED_LEVEL_CLASSIC = 0,
    // Greedy over short hash chains: several times faster, slightly larger.
    PACKED_LEVEL_FAST = 1,
    // Smallest images: the cheapest choice of symbols over each block.
    PACKED_LEVEL_BEST = 2,
};

// "classic", "fast" or "best" (as PackLevelName gives them) to the level;
// false, leaving *level alone, for anything else.
bool ParsePackLevel(const char* name, PackLevel* level);
// The level's name, or nullptr for a value that names no level.
const char* PackLevelName(PackLevel level);

using PackedBufferProc = unsigned char* (*)(int32_t size, void* user);
// Repositions the medium so that the next exchange starts `offset` bytes
// after the image's first byte. The stream passes 0 (the image's start, a
// writer's header word) unless its owner turned random access on: then a
// reader's seek may also ask for a checkpoint's code word (a multiple of 4)
// or, in a stored image, for any byte it has read before.
using PackedRewindProc = unsigned char* (*)(int32_t offset, void* user);

// Random access while reading, for owners that turn it on with
// SetRandomAccess (the file adaptor does). A packed image then keeps a
// checkpoint every PACKED_CHECKPOINT_SPACING bytes of output as it is first
// decoded (read or passed over): the window, the ring position, the bit
// position in the image and a match cut at that point. Seek restarts from
// the nearest checkpoint at or before its target, backwards and also
// forwards over ground decoded before, instead of from the image's start.
// Only ground already decoded is indexed. The index is freed by End and
// Release and holds at most PACKED_CHECKPOINT_BYTES per checkpoint, its
// table slot included: 1.6% of the image's total size (16.5 KiB per MiB,
// 4.1 MiB for 256 MiB, 33 MiB at the 2 GiB limit). A checkpoint that cannot
// be allocated costs only time: the seek starts from the nearest one there
// is, or from the image's start. A stored image needs no index: a seek
// backwards goes straight to its byte.
constexpr int32_t PACKED_CHECKPOINT_SPACING = 65536;
constexpr int32_t PACKED_CHECKPOINT_BYTES = 1056;

// Worst-case image size for `count` bytes (every byte a literal).
constexpr int64_t PackedMaxImageSize(int64_t count) {
    return 4 + 4 * ((9 * count) / 32 + 2);
}

namespace orvobf::packed_detail {
struct LevelPacker;
struct MatchNode;
struct Checkpoint;
}

class PackedStream {
public:
    PackedStream() = default;
    ~PackedStream();
    PackedStream(const PackedStream&) = delete;
    PackedStream& operator=(const PackedStream&) = delete;

    int32_t Init(int32_t version);
    void Release();
    // The buffer size must be at least 17 and a multiple of 4 (the decoder
    // and the packer count buffer bytes down by whole words).
    int32_t SetCallbacks(PackedBufferProc provider, PackedRewindProc rewind, int32_t size, void* user);

    // The level of the packing writers that later Begins start (classic
    // until set; it stays for every later image). 0, PSE_BAD_STATE while
    // begun, PSE_BAD_LEVEL, or PSE_NO_MEMORY when the fast and best
    // packers' tables (under 1 MiB, kept until Release) cannot be had.
    // Whatever the level, an image whose first Write has fewer than 17
    // bytes is stored; every level gives the same image however the input
    // is cut into later Writes.
    int32_t SetLevel(PackLevel level);
    PackLevel GetLevel() const { return level; }

    int32_t Begin(int32_t mode);
    int32_t Read(unsigned char* destination, int32_t count);
    int32_t Seek(int32_t offset, int32_t origin);
    int32_t Tell() const;
    int32_t Write(const unsigned char* source, int32_t count);
    int32_t End();

    // A reading provider whose medium ran dry calls this from inside its
    // callback: only the first `bytes` of the buffer it returns are image
    // data. The stream never decodes past them; a request that needs more
    // fails with PSE_DAMAGED, while a sound image ending there still reads.
    void SetDelivered(int32_t bytes);

    // Packs `count` bytes into a complete image at `destination`, which
    // must hold PackedMaxImageSize(count) bytes. Returns the bytes written
    // after the header word; count 0 gives the 4-byte empty image. Refused
    // (PSE_BAD_STATE) while the stream is begun: it shares the window.
    int32_t PackBuffer(const unsigned char* source, unsigned char* destination, int32_t count);
    // The same at the given level, whatever SetLevel chose; the image equals
    // what a writing stream at that level makes of the same bytes when its
    // first Write has 17 or more. Also PSE_BAD_LEVEL or PSE_NO_MEMORY (as
    // SetLevel).
    int32_t PackBuffer(const unsigned char* source, unsigned char* destination, int32_t count, PackLevel level);

    // Classic form: decodes a packed image to its end marker. The
    // destination must hold total + 16 bytes (the last match may run up to
    // 16 bytes past the total); output never goes beyond that. Returns the
    // header word, or PSE_DAMAGED. Reads at most PackedMaxImageSize(total).
    int32_t UnpackBuffer(const unsigned char* image, unsigned char* destination);
    // Bounded form: reads only `imageLength` bytes, writes exactly the
    // total size (stored images too). Returns the total, PSE_DAMAGED or
    // PSE_BUFFER_TOO_SMALL when `capacity` is below the total.
    int32_t UnpackBuffer(const unsigned char* image, size_t imageLength, unsigned char* destination,
                         size_t capacity);

    // |header word|; PSE_DAMAGED for -2^31.
    static int32_t ImageSize(const unsigned char* image);

    // On: the owner's rewind callback honours every offset, so reads keep
    // the checkpoint index and seeks use it (see PACKED_CHECKPOINT_SPACING).
    // Off (the default): every seek backwards restarts at the image's start
    // and the rewind callback only ever sees 0. Takes effect at the next
    // Begin.
    void SetRandomAccess(bool on) { randomAccessWanted = on; }
    // Bytes the checkpoint index holds now (0 when none is kept).
    int64_t IndexBytes() const;

private:
    unsigned char* FetchInput(int32_t size);
    int32_t ReadOrSkip(unsigned char* destination, int32_t count);
    int32_t DecodeRun(unsigned char* first, size_t& done, size_t want);
    void KeepHistory(unsigned char* ring, const unsigned char* first, const unsigned char* end) const;
    int32_t BeginImage(int32_t mode);
    bool Indexed(int64_t at) const;
    void Capture(const unsigned char* first, size_t done);
    bool Restore(int64_t target, int64_t after);
    void FreeIndex();
    int32_t Exchange();
    int32_t PackRun(bool starting, bool finishing);
    int32_t LevelWrite();
    int32_t LevelEnd();
    int32_t DrainStaged();
    int32_t Finish(int32_t header);

    int32_t bitCount = 0;               // reading: unread bits; writing: free bits
    uint32_t accumulator = 0;           // reading: next bit at bit 31; writing: newest bit lowest
    int32_t ringPos = 0;                // r
    const unsigned char* input = nullptr;
    unsigned char* output = nullptr;
    unsigned char* window = nullptr;    // 1024 bytes + a mirror of the first 16 for the packer's compare
    int32_t lookAhead = 0;
    int32_t packedBytes = 0;            // image bytes produced, header word included
    int32_t requestRemaining = 0;
    int32_t matchLength = 0;            // reading: bytes of an interrupted match left, less one (-1: none)
    int32_t matchPosition = 0;
    orvobf::packed_detail::MatchNode* nodes = nullptr;  // the match tree: 1025 nodes, node 1024 the root
    int32_t pendingAdvance = 0;
    int32_t bufferLeft = 0;
    int32_t kind = 0;
    PackedBufferProc provider = nullptr;
    PackedRewindProc rewinder = nullptr;
    void* user = nullptr;
    uint8_t active = 0;
    int32_t totalSize = 0;
    int32_t bufferFill = 0;
    int32_t bufferSize = 0;
    int32_t position = 0;

    // Beyond the classic state: input the medium really delivered, and the
    // finishing words the packer still owes.
    int32_t delivered = -1;   // set by SetDelivered during an exchange
    uint8_t inputDry = 0;     // the medium has no bytes after the current buffer
    const unsigned char* inputStart = nullptr;  // the current input buffer
    int32_t finishWords = 0;

    PackLevel level = PACKED_LEVEL_CLASSIC;
    orvobf::packed_detail::LevelPacker* levelPacker = nullptr;  // fast and best only

    // Reading: where the input comes from in the image, and the checkpoint
    // index (one slot per PACKED_CHECKPOINT_SPACING bytes of the total,
    // slot k for output position (k + 1) * spacing; made at the first one).
    int64_t inputOffset = 0;   // image offset of inputStart
    int64_t nextExchange = 0;  // image offset of the next exchange
    orvobf::packed_detail::Checkpoint** checkpoints = nullptr;
    int32_t checkpointSlots = 0;
    int32_t checkpointCount = 0;
    bool randomAccessWanted = false;
    bool randomAccess = false;  // randomAccessWanted, as of the last Begin
};

#endif
