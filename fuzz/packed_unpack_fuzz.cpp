// Any bytes as a packed image: the bounded decoder must stay inside both
// buffers and, when it succeeds, agree with the classic decoder and with
// the stream object reading the same bytes in uneven pieces through a
// small buffer.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "PackedStream.h"
#include "memory_medium.h"

namespace {
void CheckStream(const uint8_t* data, size_t size, const std::vector<unsigned char>& expected) {
    PackedStream reader;
    Medium medium(64);
    medium.image.assign(data, data + size);
    if (reader.Init(PACKED_STREAM_VERSION) != 0) std::abort();
    medium.Attach(reader);
    if (reader.Begin(PS_MODE_READ) != static_cast<int32_t>(expected.size())) std::abort();
    std::vector<unsigned char> got(expected.size());
    static const int32_t pieces[] = {1, 16, 17, 40, 333, 5};
    for (size_t done = 0, i = 0; done < got.size(); ++i) {
        const int32_t piece =
            static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(pieces[i % 6]), got.size() - done));
        if (reader.Read(got.data() + done, piece) != 0) std::abort();
        done += static_cast<size_t>(piece);
    }
    if (got != expected) std::abort();
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
    if (got < 0) return 0;
    CheckStream(data, size, out);
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
