// PackBuffer: the packer in one pass over memory, without room checks.
#include <orvobf/packed_stream.h>
#include "packer_core.h"

int32_t PackedStream::PackBuffer(const unsigned char* source, unsigned char* destination, int32_t count) {
    if (count < 0) return PSE_NOT_WRITABLE;
    if (!window || !nodes) return PSE_BAD_STATE;
    if (active) return PSE_BAD_STATE;
    for (int i = 0; i < 4; ++i) destination[i] = static_cast<unsigned char>(static_cast<uint32_t>(count) >> (8 * i));
    if (count == 0) return 0;
    auto pk = orvobf::packed_detail::PackerCore::Start(window, nodes, source, count, destination + 4,
                                                       PackedMaxImageSize(count));
    pk.Run(true);
    return static_cast<int32_t>(pk.bits.out - (destination + 4));
}
