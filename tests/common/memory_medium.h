// A memory medium for PackedStream's callbacks, logging every provider
// size and rewind; the one-call packer and a writer of hand-made symbols
// as helpers.
#ifndef ORVOBF_TESTS_MEMORY_MEDIUM_H
#define ORVOBF_TESTS_MEMORY_MEDIUM_H

#include <algorithm>
#include <cstring>
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

inline Bytes PackImage(PackedStream& ps, const Bytes& data) {
    Bytes image(static_cast<size_t>(PackedMaxImageSize(static_cast<int64_t>(data.size()))));
    const int32_t body = ps.PackBuffer(data.data(), image.data(), static_cast<int32_t>(data.size()));
    image.resize(body < 0 ? 0 : 4 + static_cast<size_t>(body));
    return image;
}

#endif
