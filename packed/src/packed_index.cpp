// The checkpoint index of a reading stream: the decoder's whole state at
// every PACKED_CHECKPOINT_SPACING bytes of output it has passed, so that a
// seek resumes from there instead of from the image's start.
#include <climits>
#include <cstring>

#include <orvobf/packed_stream.h>
#include <orvobf/platform.h>

namespace orvobf::packed_detail {

// Everything a run needs to go on from the checkpoint's point exactly.
struct Checkpoint {
    uint32_t accumulator;
    int32_t bitCount;
    int32_t wordOffset;  // image offset of the next code word, not yet in the accumulator
    int32_t ringPos;
    int32_t matchLength;  // a match cut at the point, as the stream keeps it
    int32_t matchPosition;
    unsigned char window[PACKED_WINDOW_SIZE];
};
static_assert(sizeof(Checkpoint) + sizeof(Checkpoint*) <= PACKED_CHECKPOINT_BYTES);

}  // namespace orvobf::packed_detail

using orvobf::packed_detail::Checkpoint;

bool PackedStream::Indexed(int64_t at) const {
    const int64_t slot = at / PACKED_CHECKPOINT_SPACING - 1;
    return checkpoints && slot >= 0 && slot < checkpointSlots && checkpoints[slot];
}

// A checkpoint at the position, which a run has just reached: `first` is the
// current request's output so far (`done` bytes), null when passing over.
// Nothing fails here: a point that cannot be kept is simply not indexed.
void PackedStream::Capture(const unsigned char* first, size_t done) {
    if (!randomAccess) return;  // nothing would ever use it
    const int64_t slot = position / PACKED_CHECKPOINT_SPACING - 1;
    if (position % PACKED_CHECKPOINT_SPACING != 0 || slot < 0 || slot >= totalSize / PACKED_CHECKPOINT_SPACING) return;
    if (Indexed(position)) return;
    // The rewind callback takes a signed 32-bit offset.
    const int64_t offset = inputOffset + (input - inputStart);
    if (offset > INT32_MAX) return;
    if (!checkpoints) {
        const int32_t slots = totalSize / PACKED_CHECKPOINT_SPACING;
        const size_t bytes = static_cast<size_t>(slots) * sizeof(Checkpoint*);
        checkpoints = static_cast<Checkpoint**>(orvobf::platform::AllocZero(bytes));
        if (!checkpoints) return;
        checkpointSlots = slots;
    }
    auto* c = static_cast<Checkpoint*>(orvobf::platform::Alloc(sizeof(Checkpoint)));
    if (!c) return;
    c->accumulator = accumulator;
    c->bitCount = bitCount;
    c->wordOffset = static_cast<int32_t>(offset);
    c->ringPos = ringPos;
    c->matchLength = matchLength;
    c->matchPosition = matchPosition;
    // A request's own output is not in the window until it ends; its last
    // 1024 bytes, when it has them, are the whole history.
    if (!first || done < PACKED_WINDOW_SIZE) std::memcpy(c->window, window, PACKED_WINDOW_SIZE);
    if (first) KeepHistory(c->window, first, first + done);
    checkpoints[slot] = c;
    ++checkpointCount;
}

// Resumes at the nearest checkpoint at or before `target` if it lies past
// `after`; the input is fetched again from its code word. False when there
// is none (the stream is left alone).
bool PackedStream::Restore(int64_t target, int64_t after) {
    if (!checkpoints) return false;
    int64_t slot = target / PACKED_CHECKPOINT_SPACING - 1;
    if (slot >= checkpointSlots) slot = checkpointSlots - 1;
    const int64_t lowest = after < 0 ? 0 : after / PACKED_CHECKPOINT_SPACING;  // first slot past `after`
    while (slot >= lowest && !checkpoints[slot]) --slot;
    if (slot < lowest) return false;
    const Checkpoint* c = checkpoints[slot];
    rewinder(c->wordOffset, user);
    nextExchange = c->wordOffset;
    input = nullptr;
    inputStart = nullptr;
    bufferLeft = 0;
    inputDry = 0;
    accumulator = c->accumulator;
    bitCount = c->bitCount;
    ringPos = c->ringPos;
    matchLength = c->matchLength;
    matchPosition = c->matchPosition;
    std::memcpy(window, c->window, PACKED_WINDOW_SIZE);
    position = static_cast<int32_t>((slot + 1) * PACKED_CHECKPOINT_SPACING);
    return true;
}

void PackedStream::FreeIndex() {
    if (!checkpoints) return;
    for (int32_t slot = 0; slot < checkpointSlots; ++slot) orvobf::platform::Free(checkpoints[slot]);
    orvobf::platform::Free(checkpoints);
    checkpoints = nullptr;
    checkpointSlots = 0;
    checkpointCount = 0;
}

int64_t PackedStream::IndexBytes() const {
    if (!checkpoints) return 0;
    return checkpointSlots * static_cast<int64_t>(sizeof(Checkpoint*)) +
           checkpointCount * static_cast<int64_t>(sizeof(Checkpoint));
}
