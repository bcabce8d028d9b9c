// File contents for tests that read archives back: text with bytes of
// every value mixed in, so that it packs, and a read at a wrong place
// shows.
#ifndef ORVOBF_TESTS_TEXT_CONTENTS_H
#define ORVOBF_TESTS_TEXT_CONTENTS_H

#include <cstddef>
#include <random>
#include <string>

inline std::string Contents(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    static const char* words[] = {"mesh ", "texture ", "level ", "sound\r\n"};
    std::string s;
    while (s.size() < size) {
        if (rng() % 4 == 0) s.push_back(static_cast<char>(rng()));
        else s += words[rng() % 4];
    }
    s.resize(size);
    return s;
}

#endif
