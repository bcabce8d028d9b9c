// The tool's machine-readable output (--json): one JSON document on
// standard output, written with nlohmann's library. Texts from an archive
// or the disk are bytes, not always UTF-8: PutText keeps them exactly.
#ifndef BIGFILE_JSON_OUTPUT_H
#define BIGFILE_JSON_OUTPUT_H

#include <cstdio>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orvobf::tool {

// Members stay in the order they are set.
using Json = nlohmann::ordered_json;

// object[key] = the bytes as a JSON string. When they are not all UTF-8,
// each byte that is not becomes U+FFFD there and object[key + "_hex"]
// holds every byte of the text, two lower-case hex digits each, so that
// the exact bytes can be had back (Python: bytes.fromhex(...)).
void PutText(Json& object, const std::string& key, std::string_view bytes);

// `value` as one line of JSON text (bytes outside UTF-8 replaced by
// U+FFFD, which PutText has already done for every text it set).
std::string JsonLine(const Json& value);

// A document whose "entries" array is written one entry at a time, so
// that an archive of any size is written in little memory: the members of
// `head`, then "entries", one entry per line, then the members of the tail.
class JsonEntryStream {
public:
    explicit JsonEntryStream(const Json& head, std::FILE* out = stdout);
    void Add(const Json& entry);
    // Closes the array and the document; false when writing failed.
    bool Finish(const Json& tail);

private:
    std::FILE* out_;
    bool first_ = true;
};

}  // namespace orvobf::tool

#endif
