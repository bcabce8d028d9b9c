// The decoder's constant tables (see PackedDecoder.h), defined once.
#include "packed_decoder.h"

namespace orvobf::packed_detail {

const unsigned char kZeroRing[PACKED_WINDOW_SIZE] = {};

namespace {
constexpr LiteralWords MakeLiteralWords() {
    LiteralWords table{};
    for (int b = 0; b < 256; ++b) table.bytes[8 * b] = static_cast<unsigned char>(b);
    return table;
}
}  // namespace

const LiteralWords kLiteralWords = MakeLiteralWords();

}  // namespace orvobf::packed_detail
