// A memory medium for PackedStream's callbacks, logging every provider
// size and rewind; the one-call packer and a writing stream fed in pieces
// as helpers.
#ifndef ORVOBF_TESTS_MEMORY_MEDIUM_H
#define ORVOBF_TESTS_MEMORY_MEDIUM_H

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include <orvobf/packed_stream.h>

using Bytes = std::vector<unsigned char>;

struct Medium {
    Bytes image;
    size_t pos = 0;  // the next exchange happens here
    Bytes buffer;
    std::vector<int32_t> sizes;    // provider calls; -1 marks a rewind
    std::vector<int32_t> rewinds;  // the offsets the rewinds asked for
    PackedStream* stream = nullptr;
    bool writing = false;

    explicit Medium(int32_t bufferSize) : buffer(static_cast<size_t>(bufferSize), 0xCD) {}

    static unsigned char* Provide(int32_t size, void* user) {
        auto* m = static_cast<Medium*>(user);
        m->sizes.push_back(size);
        const size_t n = static_cast<size_t>(size);
        if (m->writing) {
            if (m->image.size() < m->pos + n) m->image.resize(m->pos + n);
            if (n) std::memcpy(m->image.data() + m->pos, m->buffer.data(), n);
        } else {
            const size_t got = m->pos < m->image.size() ? std::min(n, m->image.size() - m->pos) : 0;
            if (got) std::memcpy(m->buffer.data(), m->image.data() + m->pos, got);
            if (got < n) m->stream->SetDelivered(static_cast<int32_t>(got));
        }
        m->pos += n;
        return m->buffer.data();
    }
    static unsigned char* Rewind(int32_t offset, void* user) {
        auto* m = static_cast<Medium*>(user);
        m->sizes.push_back(-1);
        m->rewinds.push_back(offset);
        m->pos = static_cast<size_t>(offset);
        return nullptr;
    }
    void Attach(PackedStream& ps) {
        stream = &ps;
        ps.SetCallbacks(Provide, Rewind, static_cast<int32_t>(buffer.size()), this);
    }
};

// The worked example: twenty bytes 0x61, as the classic packer writes them.
inline const Bytes kTwentyA = {0x14, 0, 0, 0, 0x02, 0x1F, 0x80, 0xB0, 0, 0, 0, 0x40};

// The one-call packer's image (empty when refused), at the classic level
// or at the one given.
inline Bytes PackImage(PackedStream& ps, const Bytes& data, std::optional<PackLevel> level = {}) {
    Bytes image(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(data.size()))));
    const auto count = static_cast<int32_t>(data.size());
    const int32_t body = level ? ps.PackBuffer(data.data(), image.data(), count, *level)
                               : ps.PackBuffer(data.data(), image.data(), count);
    image.resize(body < 0 ? 0 : 4 + static_cast<size_t>(body));
    return image;
}

// What a writing stream at `level` makes of `data` given in Writes of the
// sizes in `pieces` (the rest in one last Write) over a medium buffer of
// `bufferSize`: the image, End's result and the provider's sizes. A
// refused step ends it with an empty image and the refusal as `end`.
struct Written {
    Bytes image;
    int32_t end;
    std::vector<int32_t> sizes;
};
inline Written WriteInPieces(PackedStream& ps, const Bytes& data, const std::vector<size_t>& pieces,
                             int32_t bufferSize, PackLevel level = PACKED_LEVEL_CLASSIC) {
    Medium m(bufferSize);
    m.writing = true;
    m.Attach(ps);
    int32_t result = ps.SetLevel(level);
    if (result == 0) result = ps.Begin(PS_MODE_WRITE);
    for (size_t i = 0, at = 0; result >= 0 && at < data.size(); ++i) {
        const size_t n = i < pieces.size() ? std::min(pieces[i], data.size() - at) : data.size() - at;
        result = ps.Write(data.data() + at, static_cast<int32_t>(n));
        at += n;
    }
    if (result < 0) {
        ps.End();
        return {{}, result, m.sizes};
    }
    const int32_t end = ps.End();
    return {m.image, end, m.sizes};
}

#endif
