#include "json_output.h"

namespace orvobf::tool {

namespace {
bool IsUtf8(std::string_view bytes) {
    try {
        (void)Json(std::string(bytes)).dump();  // the strict handler throws on a byte outside UTF-8
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// The members of an object without its braces: "" for an empty one.
std::string Members(const Json& object) {
    const std::string text = JsonLine(object);
    return text.substr(1, text.size() - 2);
}
}  // namespace

void PutText(Json& object, const std::string& key, std::string_view bytes) {
    object[key] = std::string(bytes);
    if (IsUtf8(bytes)) return;
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    object[key + "_hex"] = hex;
}

std::string JsonLine(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

JsonEntryStream::JsonEntryStream(const Json& head, std::FILE* out) : out_(out) {
    const std::string members = Members(head);
    std::fprintf(out_, "{%s%s\"entries\":[", members.c_str(), members.empty() ? "" : ",");
}

void JsonEntryStream::Add(const Json& entry) {
    std::fprintf(out_, "%s\n%s", first_ ? "" : ",", JsonLine(entry).c_str());
    first_ = false;
}

bool JsonEntryStream::Finish(const Json& tail) {
    const std::string members = Members(tail);
    std::fprintf(out_, "%s]%s%s}\n", first_ ? "" : "\n", members.empty() ? "" : ",", members.c_str());
    return std::fflush(out_) == 0 && !std::ferror(out_);
}

}  // namespace orvobf::tool
