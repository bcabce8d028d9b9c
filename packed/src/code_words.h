// Code words are 32-bit little-endian, stored as the archive stores every
// integer.
#ifndef ORVOBF_PACKED_CODE_WORDS_H
#define ORVOBF_PACKED_CODE_WORDS_H

#include <orvobf/archive_format.h>

namespace orvobf::packed_detail {

using orvobf::format::LoadU32;
using orvobf::format::StoreU32;

}  // namespace orvobf::packed_detail

#endif
