// Any bytes as a packed image: every decoder entry point must stay inside
// its buffers, and all of them must agree on the same bytes: a plain
// decoder written here from the format's rules, the bounded UnpackBuffer,
// the classic one, and the stream object through a small buffer, reading
// in uneven pieces or passing over some of them by Seek.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <orvobf/packed_stream.h>
#include "memory_medium.h"

namespace {
// The format the plain way: one bit at a time from the whole code words
// there are, one byte at a time through the 1024-byte window. A symbol
// reaching past the words, or an end marker before the total, is damage.
int32_t PlainUnpack(const uint8_t* data, size_t size, std::vector<unsigned char>& out) {
    const size_t bitEnd = (size - 4) / 4 * 32;
    size_t bit = 0;
    const auto take = [&](int width, uint32_t& value) {
        if (bitEnd - bit < static_cast<size_t>(width)) return false;
        for (value = 0; width > 0; --width, ++bit) {
            const uint8_t byte = data[4 + bit / 32 * 4 + 3 - bit % 32 / 8];
            value = value << 1 | ((byte >> (7 - bit % 8)) & 1);
        }
        return true;
    };
    unsigned char window[PACKED_WINDOW_SIZE] = {};
    uint32_t r = 1, flag, value, p;
    for (size_t o = 0; o < out.size();) {
        if (!take(1, flag)) return PSE_DAMAGED;
        if (flag) {
            if (!take(8, value)) return PSE_DAMAGED;
            out[o++] = window[r] = static_cast<unsigned char>(value);
            r = (r + 1) % PACKED_WINDOW_SIZE;
            continue;
        }
        if (!take(10, p) || p == 0 || !take(4, value)) return PSE_DAMAGED;
        for (uint32_t i = 0; i < value + 2 && o < out.size(); ++i) {
            out[o++] = window[r] = window[p];
            p = (p + 1) % PACKED_WINDOW_SIZE;
            r = (r + 1) % PACKED_WINDOW_SIZE;
        }
    }
    return static_cast<int32_t>(out.size());
}

// Goes through the image with a stream in uneven pieces: every piece read
// (each checked against `expected` when given), or with `seek` every third
// passed over, then pieces at places both ways. False as soon as
// a Read or Seek fails.
bool StreamAgrees(const uint8_t* data, size_t size, size_t total, const unsigned char* expected, bool seek) {
    PackedStream reader;
    Medium medium(64);
    medium.image.assign(data, data + size);
    if (reader.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    medium.Attach(reader);
    reader.SetRandomAccess(seek);  // both ways of seeking back: by checkpoints and from the start
    if (reader.Begin(PS_MODE_READ) != static_cast<int32_t>(total)) std::abort();
    static const size_t pieces[] = {1, 16, 17, 40, 333, 5, 1500};
    std::vector<unsigned char> got(1500);
    for (size_t done = 0, i = 0; done < total; ++i) {
        const size_t piece = std::min(pieces[i % 7], total - done);
        if (seek && i % 3 == 1) {
            if (reader.Seek(static_cast<int32_t>(piece), 1) != static_cast<int32_t>(done + piece)) return false;
        } else {
            if (reader.Read(got.data(), static_cast<int32_t>(piece)) != 0) return false;
            if (expected && std::memcmp(got.data(), expected + done, piece) != 0) std::abort();
        }
        done += piece;
    }
    // Then to places both ways, the points of checkpoints among them.
    const size_t spacing = PACKED_CHECKPOINT_SPACING;
    const size_t targets[] = {0, total / 2, spacing + 1, total, spacing - 1, total * 3 / 4, spacing, 2 * spacing + 17};
    for (size_t target : targets) {
        target = std::min(target, total);
        const size_t piece = std::min<size_t>(total - target, 40);
        if (reader.Seek(static_cast<int32_t>(target), 0) != static_cast<int32_t>(target) ||
            reader.Read(got.data(), static_cast<int32_t>(piece)) != 0)
            return false;
        if (expected && std::memcmp(got.data(), expected + target, piece) != 0) std::abort();
    }
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PackedStream stream;
    static const bool ready = stream.Init(PACKED_STREAM_VERSION) == 0;
    if (!ready || size < 4) return 0;
    const int32_t total = PackedStream::ImageSize(data);
    if (total < 0 || total > (1 << 20)) return 0;
    std::vector<unsigned char> out(static_cast<size_t>(total));
    const int32_t got = stream.UnpackBuffer(data, size, out.data(), out.size());
    if (!(data[3] & 0x80)) {
        std::vector<unsigned char> plain(out.size());
        if (PlainUnpack(data, size, plain) != got || (got >= 0 && plain != out)) std::abort();
    }
    if (got < 0) {
        // What the bounded form finds damaged, the stream cannot read through either.
        if (StreamAgrees(data, size, out.size(), nullptr, false) || StreamAgrees(data, size, out.size(), nullptr, true))
            std::abort();
        return 0;
    }
    if (!StreamAgrees(data, size, out.size(), out.data(), false) ||
        !StreamAgrees(data, size, out.size(), out.data(), true))
        std::abort();
    if (data[3] & 0x80) return 0;
    // The classic form may read up to the worst-case image size and write
    // up to 16 bytes past the total.
    std::vector<unsigned char> image(static_cast<size_t>(PackedMaxImageSize(total)), 0);
    std::memcpy(image.data(), data, size < image.size() ? size : image.size());
    std::vector<unsigned char> classic(static_cast<size_t>(total) + 16);
    if (stream.UnpackBuffer(image.data(), classic.data()) == total &&
        std::memcmp(classic.data(), out.data(), out.size()) != 0)
        std::abort();
    return 0;
}
