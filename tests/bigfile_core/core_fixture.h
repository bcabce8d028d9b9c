// Shared pieces of the archive core tests: an initialised object, a temp
// folder, and capture of every message box shown.
#ifndef ORVOBF_TESTS_CORE_FIXTURE_H
#define ORVOBF_TESTS_CORE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <orvobf/ORVOBF.H>
#include <orvobf/archive_writer.h>
#include <orvobf/platform.h>
#include <orvobf/platform_test_hooks.h>
#include "temp_dir.h"

struct CapturedBox {
    std::string text;
    std::string caption;
};

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        orvobf::platform::SetMessageBoxHook(&CoreTest::Capture, this);
        ASSERT_EQ(bf.Init(BIGFILE_HEADER_VERSION), 1);
    }
    void TearDown() override {
        orvobf::platform::FailAllocationAfter(0);
        orvobf::platform::SetMessageBoxHook(nullptr, nullptr);
    }
    static int Capture(void*, const char* text, const char* caption, unsigned, void* user) {
        static_cast<CoreTest*>(user)->boxes.push_back({text, caption});
        return 1;
    }
    // Names of the current directory's entries, in order.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (uint32_t i = 0; i < bf.current->count; ++i) names.push_back(bf.current->entries[i].name);
        return names;
    }
    void ExpectError(int32_t code, uint32_t detail) {
        EXPECT_EQ(bf.GetErrorCode(), code);
        EXPECT_EQ(bf.GetErrorDetail(), detail);
    }
    // Writes `archive` into the temp folder and opens it.
    int Open(const orvobf::writer::RawArchive& archive, const char* name = "a.bf") {
        return bf.Open(dir.Write(name, archive.bytes()).c_str(), 0);
    }

    TempDir dir;
    BigFile bf;
    std::vector<CapturedBox> boxes;
};

// The 73-byte archive: directory d holding the 3-byte stored file f.
inline orvobf::writer::RawArchive SmallArchive() {
    orvobf::writer::RawArchive a;
    a.Header(1, 1, 32, 70).Block(1).Dir("d").Block(1).File("f", 3, 0).Bytes("xyz");
    return a;
}

// root: A/ (x/, y), a, b, c (sizes 1, 2, 3); A/x/ is empty. Four entries
// fill the root's first entry array.
inline orvobf::writer::RawArchive SmallTree() {
    orvobf::writer::RawArchive a;
    a.Header(2, 4, 32, 0).Block(4).Dir("A").Block(2).Dir("x").Block(0).File("y", 9, 0);
    a.File("a", 1, 0).File("b", 2, 0).File("c", 3, 0);
    return a;
}

#endif
