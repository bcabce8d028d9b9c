// The asset loader of README.md, compiled from the README's own text (its
// main is renamed readme_asset_loader), run on a base archive, a patch
// archive and a mods folder.
#include <filesystem>

#include "cxx_fixture.h"

int readme_asset_loader(int argc, char** argv);

namespace {

int RunLoader(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    return readme_asset_loader(static_cast<int>(argv.size()), argv.data());
}

TEST(ReadmeExample, AssetLoaderLoadsEveryLayer) {
    TempDir dir;
    const std::string hero = Contents(90000, 1);
    const std::string base = WriteArchive(
        dir, "base.bf", {{"Art/packed/hero.tex", hero}, {"Art/sky.tex", "base sky"}, {"Sound/theme.raw", "not art"}});
    const std::string patch = WriteArchive(dir, "patch.bf", {{"art/SKY.tex", "patched sky"}});
    std::filesystem::create_directories(dir.File("mods/Art/ui"));
    dir.Write("mods/Art/ui/cursor.tex", "cursor");

    char tail[64];
    std::snprintf(tail, sizeof tail, "Art/packed/hero.tex ends in %02x %02x %02x %02x\n", hero[89996] & 255u,
                  hero[89997] & 255u, hero[89998] & 255u, hero[89999] & 255u);
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunLoader({"asset_loader", "art", base, patch, dir.File("mods")}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "3 files, " + std::to_string(90000 + 11 + 6) + " bytes\n" + tail);

    testing::internal::CaptureStderr();
    EXPECT_EQ(RunLoader({"asset_loader", "Art", base, dir.File("none.bf")}), 1);
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("cannot open: " + dir.File("none.bf")), std::string::npos) << error;
}

}  // namespace
