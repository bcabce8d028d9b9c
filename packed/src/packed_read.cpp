// Reading an image piece by piece: Read and Seek over the decoder core.
#include <cstring>

#include "packed_decoder.h"
#include <orvobf/packed_stream.h>
#include <orvobf/platform.h>

using namespace orvobf::packed_detail;

// One decoder run towards `want` bytes of this request, `done` of which
// are in already: into the request's destination from `first` on (a null
// `first` passes over them, into the window only). The request's own
// output is match history for its later runs; older sources come from the
// window, which ReadOrSkip refreshes when the request ends. Returns
// PSE_DAMAGED when the body cannot deliver the bytes, else 0 (the request
// met, or the buffer used up at the start of a symbol).
int32_t PackedStream::DecodeRun(unsigned char* first, size_t& done, size_t want) {
    DecodeState s;
    s.acc = accumulator;
    s.bits = bitCount;
    s.inStart = inputStart;
    s.in = input;
    s.inEnd = input + (bufferLeft > 0 ? bufferLeft : 0);
    s.dry = inputDry != 0;
    s.r = static_cast<uint32_t>(ringPos);
    s.held = matchLength + 1;
    s.heldFrom = static_cast<uint32_t>(matchPosition);
    const RunEnd end = first ? DecodeSymbols<Sink::Flat, Until::Count>(s, {first, window}, done, want)
                             : DecodeSymbols<Sink::Window, Until::Count>(s, {window}, done, want);
    accumulator = s.acc;
    bitCount = s.bits;
    input = s.in;
    bufferLeft = static_cast<int32_t>(s.inEnd - s.in);
    ringPos = static_cast<int32_t>(s.r);
    matchLength = s.held - 1;
    matchPosition = static_cast<int32_t>(s.heldFrom);
    return end == RunEnd::Damaged ? PSE_DAMAGED : 0;
}

// A ring takes the last 1024 bytes a request delivered (from `first` up to
// `end`), at their ring positions: for the window, the next request's
// history; for a checkpoint, the history at its point.
void PackedStream::KeepHistory(unsigned char* ring, const unsigned char* first, const unsigned char* end) const {
    const size_t produced = static_cast<size_t>(end - first);
    const uint32_t keep = produced < 1024 ? static_cast<uint32_t>(produced) : 1024;
    const uint32_t r = static_cast<uint32_t>(ringPos);
    const uint32_t from = (r - keep) & 1023;
    const uint32_t head = keep < 1024 - from ? keep : 1024 - from;
    std::memcpy(ring + from, end - keep, head);
    std::memcpy(ring, end - keep + head, keep - head);
}

namespace {
// Passing over this many bytes or more decodes them into a flat scratch
// buffer of at most kScratchSize, a piece at a time: the flat form is
// several times quicker than decoding into the window, and worth an
// allocation from here on.
constexpr int64_t kFlatSkip = 4096;
constexpr int64_t kScratchSize = PACKED_CHECKPOINT_SPACING;
}  // namespace

// Delivers (or, with a null destination, passes over) count bytes; a
// request beyond the total delivers up to it and reports PSE_DAMAGED.
int32_t PackedStream::ReadOrSkip(unsigned char* destination, int32_t count) {
    bool pastEnd = false;
    int64_t want = count;
    const int64_t available = static_cast<int64_t>(totalSize) - position;
    if (want > available) {
        want = available < 0 ? 0 : available;
        pastEnd = true;
    }
    requestRemaining = static_cast<int32_t>(want);
    // The flat output of the decoder runs: the destination, or the scratch
    // buffer (whose bytes pass into the window whenever it is full), or
    // none when there is no scratch buffer (the runs decode into the window).
    const size_t scratchSize = static_cast<size_t>(want < kScratchSize ? want : kScratchSize);
    unsigned char* scratch = nullptr;
    if (!destination && kind == PS_READ_PACKED && want >= kFlatSkip)
        scratch = static_cast<unsigned char*>(orvobf::platform::Alloc(scratchSize));
    unsigned char* const out = destination ? destination : scratch;
    size_t done = 0;     // bytes of this request delivered or passed over
    size_t outFrom = 0;  // the request's byte at out[0]
    int32_t rc = 0;
    while (requestRemaining > 0) {
        if (bufferLeft == 0 && !inputDry) {
            if (!provider) {
                rc = PSE_NO_CALLBACK;
                break;
            }
            const int32_t size = requestRemaining < bufferSize ? (requestRemaining & ~3) + 4 : bufferSize;
            if (!FetchInput(size)) {
                rc = PSE_NO_BUFFER;
                break;
            }
            // Only whole code words count for a packed body.
            if (kind == PS_READ_PACKED) bufferLeft &= ~3;
        }
        const size_t before = done;
        bool reached = false;
        if (kind == PS_READ_PACKED) {
            size_t until = static_cast<size_t>(want);
            if (scratch) {
                if (done - outFrom == scratchSize) {
                    KeepHistory(window, scratch, scratch + scratchSize);
                    outFrom = done;
                }
                if (until > outFrom + scratchSize) until = outFrom + scratchSize;
            }
            // A run stops at the next checkpoint's point not yet indexed,
            // and takes the checkpoint there.
            const int64_t next = (position / PACKED_CHECKPOINT_SPACING + 1) * PACKED_CHECKPOINT_SPACING;
            if (randomAccess && next - position < static_cast<int64_t>(until - done) && !Indexed(next))
                until = done + static_cast<size_t>(next - position);
            size_t produced = done - outFrom;
            rc = DecodeRun(out, produced, until - outFrom);
            done = outFrom + produced;
            reached = rc == 0 && position + static_cast<int64_t>(done - before) == next;
        } else if (bufferLeft == 0) {
            rc = PSE_DAMAGED;  // the medium ran dry
        } else {
            const int32_t n = requestRemaining < bufferLeft ? requestRemaining : bufferLeft;
            if (destination) std::memcpy(destination + done, input, static_cast<size_t>(n));
            input += n;
            bufferLeft -= n;
            done += static_cast<size_t>(n);
        }
        position += static_cast<int32_t>(done - before);
        requestRemaining = static_cast<int32_t>(want - static_cast<int64_t>(done));
        if (reached) Capture(out, done - outFrom);
        if (rc < 0) break;
    }
    if (kind == PS_READ_PACKED && out) KeepHistory(window, out, out + (done - outFrom));
    orvobf::platform::Free(scratch);
    if (rc < 0) return rc;
    return pastEnd ? PSE_DAMAGED : 0;
}

int32_t PackedStream::Read(unsigned char* destination, int32_t count) {
    if (kind == PS_WRITE_PACKED || kind == PS_WRITE_STORED) return PSE_NOT_READABLE;
    if (!active) return PSE_BAD_STATE;
    if (count < 0) return PSE_NOT_READABLE;
    if (count == 0) return 0;
    if (!destination) return PSE_NOT_READABLE;
    return ReadOrSkip(destination, count);
}

int32_t PackedStream::Seek(int32_t offset, int32_t origin) {
    if (kind == PS_WRITE_PACKED || kind == PS_WRITE_STORED) return PSE_NOT_READABLE;
    if (!active) return PSE_BAD_STATE;
    int64_t d;
    switch (origin) {
        case 0: d = static_cast<int64_t>(offset) - position; break;
        case 1: d = offset; break;
        case 2: d = static_cast<int64_t>(totalSize) - offset - position; break;
        default: return position;
    }
    int64_t target = position + d;
    if (target < 0) target = 0;
    if (!randomAccess) {
        // The rewind callback may know only the image's start.
    } else if (d != 0 && rewinder && kind == PS_READ_PACKED) {
        // Backwards from any checkpoint at or before the target; forwards
        // only past the current position.
        if (Restore(target, d < 0 ? -1 : position)) d = target - position;
    } else if (d < 0 && rewinder && kind == PS_READ_STORED && target <= INT32_MAX - 4) {
        // Every byte before the position was there: straight to it.
        rewinder(static_cast<int32_t>(4 + target), user);
        nextExchange = 4 + target;
        bufferLeft = 0;
        inputDry = 0;
        position = static_cast<int32_t>(target);
        return position;
    }
    if (d < 0) {
        if (!rewinder) return PSE_NO_CALLBACK;
        rewinder(0, user);
        active = 0;
        const int32_t rc = BeginImage(PS_MODE_READ);
        if (rc < 0) {
            FreeIndex();  // the medium failed the image's start: nothing to resume
            return rc;
        }
        d = target;
    }
    if (d == 0) return position;
    const int32_t rc = ReadOrSkip(nullptr, d > INT32_MAX ? INT32_MAX : static_cast<int32_t>(d));
    return rc < 0 ? rc : position;
}
