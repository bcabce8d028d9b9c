// The extractor program as a user runs it: BigTest.bf in the working
// folder, the output folder from the registry (here its REGEDIT4 file).
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <orvobf/archive_writer.h>
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs the extractor in `folder` with `registry` as its registry file.
Outcome RunExtractor(const fs::path& folder, const fs::path& registry) {
    const fs::path errFile = folder / "stderr.txt";
    const std::string command = "cd '" + folder.string() + "' && ORVOBF_REGISTRY='" + registry.string() +
                                "' timeout 60 " EXTRACTOR_TOOL " </dev/null >/dev/null 2>'" + errFile.string() + "'";
    Outcome outcome;
    const int raw = std::system(command.c_str());
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile);
    outcome.err.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(errFile);
    return outcome;
}

void WriteRegistry(const fs::path& file, const std::string& value) {
    std::ofstream(file) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Orvo\\AshenThrone]\n@=\"" << value << "\"\n";
}

TEST(ExtractorApp, ArchiveRootGoesIntoTheOutputFoldersParent) {
    TempDir dir;
    const fs::path run = dir.File("run");
    fs::create_directories(run / "Data/Out");
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    const std::string text(300000, 'z');
    ASSERT_TRUE(builder.AddFile("Maps/one.txt", text, &error, orvobf::writer::Packing::Pack)) << error;
    ASSERT_TRUE(builder.AddFile("top.bin", "\x01\x02\x03", &error)) << error;
    ASSERT_TRUE(builder.Write((run / "BigTest.bf").string(), &error)) << error;
    WriteRegistry(dir.File("reg"), (run / "Data/Out").string());

    const Outcome outcome = RunExtractor(run, dir.File("reg"));
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::ifstream one(run / "Data/Maps/one.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(one), {}), text);
    EXPECT_EQ(fs::file_size(run / "Data/top.bin"), 3u);
    EXPECT_TRUE(fs::is_empty(run / "Data/Out"));
}

TEST(ExtractorApp, MissingOrUnusableOutputFolderShowsTheBoxAndWritesNothing) {
    TempDir dir;
    const fs::path run = dir.File("run");
    fs::create_directories(run);
    orvobf::writer::ArchiveBuilder builder;
    std::string error;
    ASSERT_TRUE(builder.AddFile("x", "x", &error)) << error;
    ASSERT_TRUE(builder.Write((run / "BigTest.bf").string(), &error)) << error;

    for (const std::string& value : {std::string("__no_registry__"), std::string(""), (run / "absent").string()}) {
        SCOPED_TRACE(value);
        if (value != "__no_registry__") WriteRegistry(dir.File("reg"), value);
        const Outcome outcome = RunExtractor(run, dir.File("reg"));
        EXPECT_EQ(outcome.status, 0);
        EXPECT_NE(outcome.err.find("[ERROR] Cannot open output directory"), std::string::npos) << outcome.err;
        EXPECT_FALSE(fs::exists(dir.File("x")));
        EXPECT_FALSE(fs::exists(run / "x"));
    }
}

}  // namespace
