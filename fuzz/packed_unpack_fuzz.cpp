// Any bytes as a packed image: every decoder entry point must stay inside
// its buffers, and all of them must agree on the same bytes: a plain
// decoder written from the format's rules, the bounded UnpackBuffer, the
// classic one, and the stream object through a small buffer, reading in
// uneven pieces or passing over some of them by Seek.
#include <cstdio>
#include <cstdlib>

#include "packed_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PackedStream stream;
    static const bool ready = stream.Init(PACKED_STREAM_VERSION) == 0;
    if (!ready || (size >= 4 && PackedStream::ImageSize(data) > (1 << 20))) return 0;
    const Decoded decoded = DecodeEverywhere(stream, data, size);
    if (!decoded.fault.empty()) {
        std::fprintf(stderr, "packed unpack: %s\n", decoded.fault.c_str());
        std::abort();
    }
    return 0;
}
