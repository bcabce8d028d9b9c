// A medium for PackedStream's callbacks: image bytes in memory (or in a
// real file), with a log of every provider size and rewind.
#ifndef ORVOBF_TESTS_MEMORY_MEDIUM_H
#define ORVOBF_TESTS_MEMORY_MEDIUM_H

#include <cstdio>
#include <cstring>
#include <vector>

#include "PackedStream.h"

using Bytes = std::vector<unsigned char>;

struct Medium {
    Bytes image;           // the medium's bytes
    size_t pos = 0;        // next exchange happens here
    Bytes buffer;
    std::vector<int32_t> sizes;  // provider calls; -1 marks a rewind
    PackedStream* stream = nullptr;
    FILE* file = nullptr;  // when set, the medium is this file instead
    bool writing = false;

    explicit Medium(int32_t bufferSize) : buffer(static_cast<size_t>(bufferSize), 0xCD) {}

    static unsigned char* Provide(int32_t size, void* user) {
        auto* m = static_cast<Medium*>(user);
        m->sizes.push_back(size);
        const size_t n = static_cast<size_t>(size);
        if (m->writing) {
            if (m->file) {
                if (n && std::fwrite(m->buffer.data(), n, 1, m->file) != 1) return nullptr;
            } else {
                if (m->image.size() < m->pos + n) m->image.resize(m->pos + n);
                if (n) std::memcpy(m->image.data() + m->pos, m->buffer.data(), n);
                m->pos += n;
            }
            return m->buffer.data();
        }
        size_t got;
        if (m->file) {
            got = std::fread(m->buffer.data(), 1, n, m->file);
        } else {
            got = m->pos < m->image.size() ? std::min(n, m->image.size() - m->pos) : 0;
            if (got) std::memcpy(m->buffer.data(), m->image.data() + m->pos, got);
            m->pos += n;
        }
        if (got < n && m->stream) m->stream->SetDelivered(static_cast<int32_t>(got));
        return m->buffer.data();
    }
    static unsigned char* Rewind(int32_t offset, void* user) {
        auto* m = static_cast<Medium*>(user);
        m->sizes.push_back(-1);
        if (m->file) std::fseek(m->file, offset, SEEK_SET);
        m->pos = static_cast<size_t>(offset);
        return nullptr;
    }
    void Attach(PackedStream& ps) {
        stream = &ps;
        ps.SetCallbacks(Provide, Rewind, static_cast<int32_t>(buffer.size()), this);
    }
};

#endif
