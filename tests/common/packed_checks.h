// Every decoder on one image and every packer on one input: the checks the
// packed tests and the packed fuzzers share. Each says what went wrong
// ("" when nothing did), so a test expects "" and a fuzzer aborts.
#ifndef ORVOBF_TESTS_PACKED_CHECKS_H
#define ORVOBF_TESTS_PACKED_CHECKS_H

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <orvobf/packed_stream.h>
#include "memory_medium.h"

// The format the plain way: one bit at a time from the whole code words
// there are, one byte at a time through the 1024-byte window. A symbol
// reaching past the words, or an end marker before the total, is damage.
inline int32_t PlainUnpack(const unsigned char* data, size_t size, Bytes& out) {
    const size_t bitEnd = (size - 4) / 4 * 32;
    size_t bit = 0;
    const auto take = [&](int width, uint32_t& value) {
        if (bitEnd - bit < static_cast<size_t>(width)) return false;
        for (value = 0; width > 0; --width, ++bit) {
            const unsigned char byte = data[4 + bit / 32 * 4 + 3 - bit % 32 / 8];
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

// Goes through the image with a stream over a medium buffer of
// `bufferSize`, in uneven pieces: every piece read (each compared with
// `expected` when given), or with `seek` every third passed over and random
// access on; then pieces at places both ways, checkpoints' points among
// them. False as soon as a Read or Seek fails; bytes that differ from
// `expected` or a Begin that does not give `total` are a fault.
inline bool StreamReads(const unsigned char* data, size_t size, size_t total, const unsigned char* expected, bool seek,
                        int32_t bufferSize, std::string& fault) {
    PackedStream reader;
    Medium medium(bufferSize);
    medium.image.assign(data, data + size);
    const bool ready = reader.Init(PACKED_STREAM_VERSION) == 0;
    medium.Attach(reader);
    reader.SetRandomAccess(seek);  // both ways of seeking back: by checkpoints and from the start
    if (!ready || reader.Begin(PS_MODE_READ) != static_cast<int32_t>(total)) {
        fault = "Begin gives another total";
        return false;
    }
    Bytes got(1500);
    const auto piece = [&](size_t at, size_t n) {
        if (reader.Read(got.data(), static_cast<int32_t>(n)) != 0) return false;
        if (expected && n && std::memcmp(got.data(), expected + at, n) != 0)
            fault = "the stream reads other bytes at " + std::to_string(at);
        return true;
    };
    static const size_t pieces[] = {1, 16, 17, 40, 333, 5, 1500};
    for (size_t done = 0, i = 0; done < total; ++i) {
        const size_t n = std::min(pieces[i % 7], total - done);
        if (seek && i % 3 == 1) {
            if (reader.Seek(static_cast<int32_t>(n), 1) != static_cast<int32_t>(done + n)) return false;
        } else if (!piece(done, n)) {
            return false;
        }
        done += n;
    }
    const size_t spacing = PACKED_CHECKPOINT_SPACING;
    for (size_t target : {size_t{0}, total / 2, spacing + 1, total, spacing - 1, total * 3 / 4, spacing,
                          2 * spacing + 17}) {
        target = std::min(target, total);
        if (reader.Seek(static_cast<int32_t>(target), 0) != static_cast<int32_t>(target) ||
            !piece(target, std::min<size_t>(total - target, 40)))
            return false;
    }
    return true;
}

struct Decoded {
    int32_t result;     // the bounded decoder's: the total, or its refusal
    int32_t classic;    // the classic form's where it runs (see below), else `result`
    Bytes bytes;        // what the bounded decoder made
    std::string fault;  // where another entry point disagrees with it
};

// Decodes an image of any bytes with the bounded UnpackBuffer and holds
// every other entry point to it: the plain decoder above (up to 1 MiB) and
// the classic form on packed images, and the stream both ways, which must
// read through what the bounded form decodes and fail on what it finds
// damaged. The classic form runs on the packed images the bounded form
// decodes; it may refuse one whose bytes run on past the last symbol
// without an end marker.
inline Decoded DecodeEverywhere(PackedStream& ps, const unsigned char* data, size_t size, int32_t bufferSize = 64) {
    unsigned char none[1];
    const int32_t total = size < 4 ? PSE_DAMAGED : PackedStream::ImageSize(data);
    Decoded d{PSE_DAMAGED, PSE_DAMAGED, Bytes(total < 0 ? 0 : static_cast<size_t>(total)), {}};
    d.classic = d.result = ps.UnpackBuffer(data, size, total > 0 ? d.bytes.data() : none, d.bytes.size());
    if (total < 0) {
        if (d.result != PSE_DAMAGED) d.fault = "an image without a total decodes";
        return d;
    }
    const bool stored = data[3] & 0x80;
    Bytes plain(d.bytes.size());
    if (!stored && total <= (1 << 20) &&  // the plain decoder is slow on purpose
        (PlainUnpack(data, size, plain) != d.result || (d.result >= 0 && plain != d.bytes)))
        d.fault = "the plain decoder disagrees";
    for (bool seek : {false, true}) {
        const bool through = StreamReads(data, size, d.bytes.size(), d.result >= 0 ? d.bytes.data() : nullptr, seek,
                                         bufferSize, d.fault);
        if (through != (d.result >= 0)) d.fault = through ? "the stream reads a damaged image" : "the stream fails";
    }
    if (stored || d.result < 0) return d;
    // The classic form may read up to the worst-case image size and write
    // up to 16 bytes past the total.
    Bytes image(static_cast<size_t>(PackedMaxImageSize(total)), 0);
    std::memcpy(image.data(), data, std::min(size, image.size()));
    Bytes classic(d.bytes.size() + 16);
    d.classic = ps.UnpackBuffer(image.data(), classic.data());
    if (d.classic == total && total && std::memcmp(classic.data(), d.bytes.data(), d.bytes.size()) != 0)
        d.fault = "the classic form decodes other bytes";
    return d;
}

// Packs `data` at `level` with `packer`, and through `writer` in Writes and
// over a medium buffer that `rng` chooses: the same image both ways (stored
// when the first Write has under 17 bytes), and every decoder gives the
// data back. `packer` and `writer` may be one object.
inline std::string PackFault(PackedStream& packer, PackedStream& writer, const Bytes& data, PackLevel level,
                             std::minstd_rand& rng) {
    const auto n = static_cast<int32_t>(data.size());
    const Bytes image = PackImage(packer, data, level);
    if (image.empty()) return "PackBuffer refuses";
    const Decoded d = DecodeEverywhere(packer, image.data(), image.size(), 20 + 4 * static_cast<int32_t>(rng() % 64));
    if (!d.fault.empty()) return d.fault;
    if (d.result != n || d.classic != n || d.bytes != data) return "the image does not decode to the data";
    std::vector<size_t> pieces = {PACKED_MAX_MATCH + rng() % 40};
    while (pieces.size() < 300) pieces.push_back(rng() % 4 == 0 ? rng() % 70000 : rng() % 40);
    const Written w = WriteInPieces(writer, data, pieces, 20 + 4 * static_cast<int32_t>(rng() % 64), level);
    if (n >= PACKED_MAX_MATCH)
        return w.image == image && w.end == static_cast<int32_t>(image.size()) ? "" : "the stream's image differs";
    const bool stored = w.end == n && w.image.size() == data.size() + 4 && PackedStream::ImageSize(w.image.data()) == n &&
                        std::equal(data.begin(), data.end(), w.image.begin() + 4);
    return stored ? "" : "a short first Write does not store";
}

#endif
