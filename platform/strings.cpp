// ASCII case-insensitive comparison, the same on every system: only the
// letters A to Z are folded, every other byte compares as it is.
#include <orvobf/platform.h>

namespace orvobf::platform {
namespace {
inline unsigned char Fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}
}  // namespace

int StrNICmp(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = Fold(static_cast<unsigned char>(a[i]));
        const unsigned char cb = Fold(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

int StrICmp(const char* a, const char* b) { return StrNICmp(a, b, static_cast<size_t>(-1)); }

}  // namespace orvobf::platform
