// Any bytes as a packed image: the bounded decoder must stay inside both
// buffers and, when it succeeds, agree with the classic decoder.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "PackedStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PackedStream stream;
    static const bool ready = stream.Init(PACKED_STREAM_VERSION) == 0;
    if (!ready || size < 4) return 0;
    const int32_t total = PackedStream::ImageSize(data);
    if (total < 0 || total > (1 << 20)) return 0;
    std::vector<unsigned char> out(static_cast<size_t>(total));
    const int32_t got = stream.UnpackBuffer(data, size, out.data(), out.size());
    if (got < 0 || data[3] & 0x80) return 0;
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
