// What the C++ interface's tests share: archives written by our writer,
// packable contents, and bytes seen as text.
#ifndef ORVOBF_TESTS_CXX_FIXTURE_H
#define ORVOBF_TESTS_CXX_FIXTURE_H

#include <gtest/gtest.h>

#include <random>
#include <span>
#include <string>
#include <vector>

#include <orvobf/orvobf.hpp>
#include "archive_files.h"
#include "text_contents.h"

inline std::string Text(const std::vector<std::byte>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
inline std::span<std::byte> AsBytes(std::string& s) { return std::as_writable_bytes(std::span(s)); }

#endif
