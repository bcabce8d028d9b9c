#include "corpus.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {
uint64_t Fnv(const std::vector<unsigned char>& bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

constexpr size_t kCorpusSize = 64u << 20;
constexpr size_t kTextShare = kCorpusSize / 2;

void Append(std::vector<unsigned char>& corpus, const char* folder, size_t limit) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        // Already-compressed documentation is not text.
        const std::string ext = it->path().extension().string();
        if (ext == ".gz" || ext == ".xz" || ext == ".bz2" || ext == ".zst") continue;
        files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        if (corpus.size() >= limit) return;
        std::ifstream in(file, std::ios::binary);
        std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
        bytes.resize(std::min(bytes.size(), limit - corpus.size()));
        corpus.insert(corpus.end(), bytes.begin(), bytes.end());
    }
}

std::vector<unsigned char> Build() {
    std::vector<unsigned char> corpus;
    corpus.reserve(kCorpusSize);
    Append(corpus, "/usr/share/common-licenses", kTextShare);
    Append(corpus, "/usr/share/doc", kTextShare);
    Append(corpus, "/usr/bin", kCorpusSize);
    // Too few files installed: repeat what there is.
    for (size_t i = 0; corpus.size() < kCorpusSize && i < corpus.size(); ++i) corpus.push_back(corpus[i]);
    std::fprintf(stderr, "corpus: %zu bytes, FNV-1a %016llx\n", corpus.size(),
                 static_cast<unsigned long long>(Fnv(corpus)));
    return corpus;
}
}  // namespace

const std::vector<unsigned char>& Corpus() {
    static const std::vector<unsigned char> corpus = Build();
    return corpus;
}

uint64_t CorpusHash() { return Fnv(Corpus()); }
