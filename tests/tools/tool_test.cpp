// The `bigfile` program itself: exit codes of its usage. (Every command's
// exact output is in tool_output_test.cpp and the command tests.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "run_tool.h"
#include "temp_dir.h"

TEST(Tool, FailuresSayWhyAndExitNonZero) {
    TempDir dir;
    EXPECT_EQ(Tool("create " + dir.File("x.bf") + " " + dir.File("no-such-dir")).status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.bf")));
    EXPECT_EQ(Tool("list").status, 2);
    EXPECT_EQ(Tool("frobnicate").status, 2);
    EXPECT_EQ(Tool("--help").status, 0);
}
