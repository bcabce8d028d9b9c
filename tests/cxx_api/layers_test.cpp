// Layers: a base archive, a patch archive and a disk folder over them.
#include <filesystem>

#include "cxx_fixture.h"

namespace {

using orvobf::errc;
namespace fs = std::filesystem;

TEST(Layers, APathResolvesInTheLastLayerThatHasItAndFoldersMergeInOneListing) {
    TempDir dir;
    orvobf::Layers layers;
    std::error_code ec;
    for (const std::string& archive :
         {WriteArchive(dir, "base.bf", {{"Data/a.txt", "base a"}, {"Data/b.txt", "base b"}, {"Data/Dir/x", "base x"},
                                        {"Mix/in", "base in"}, {"Only/base", "base only"}}),
          WriteArchive(dir, "patch.bf", {{"data/A.TXT", "patch a"}, {"DATA/c.txt", "patch c"}, {"Mix", "patch mix"}})})
        layers.add_archive(archive, ec);
    fs::create_directories(dir.File("mods/DATA/dir"));
    dir.Write("mods/DATA/b.txt", "disk b");
    dir.Write("mods/DATA/dir/y", "disk y");
    dir.Write("mods/outside", "not below the layers' root");
#ifndef _WIN32
    fs::create_symlink(dir.File("mods/outside"), dir.File("mods/DATA/link"));
#endif
    layers.add_folder(dir.File("mods"), ec);
    ASSERT_EQ(layers.size(), 3u) << ec.message();
    const auto read = [&](std::string_view path) { return Text(layers.read_all(path, ec)); };

    EXPECT_EQ(read("Data/a.txt"), "patch a");
    EXPECT_EQ(read("data\\B.TXT"), "disk b");
    EXPECT_EQ(read("DATA/c.txt"), "patch c");
    EXPECT_EQ(read("data/dir/X"), "base x");
    EXPECT_EQ(read("Data/DIR/y"), "disk y");
    const auto b = layers.stat("DATA/b.txt", ec);
    ASSERT_TRUE(b) << ec.message();
    EXPECT_EQ(b->layer, 2u);
    EXPECT_EQ(b->path, "DATA/b.txt");
    EXPECT_EQ(b->size, 6u);

    // A file over a folder: stat and open_file take the file, and the
    // folder's contents below stay where they are.
    EXPECT_FALSE(layers.stat("Mix", ec)->is_dir);
    EXPECT_EQ(read("Mix"), "patch mix");
    EXPECT_EQ(read("mix/in"), "base in");

    for (const char* nothing : {"Data/../outside", "../outside", "Data/link", "Data/none"}) {
        EXPECT_FALSE(layers.stat(nothing, ec)) << nothing;
        EXPECT_EQ(ec, errc::not_found) << nothing;
    }
    EXPECT_TRUE(read("Data/Dir").empty());
    EXPECT_EQ(ec, errc::is_a_directory);
    layers.add_folder(dir.File("mods/outside"), ec);
    EXPECT_EQ(ec, errc::not_a_directory);
    layers.add_archive(dir.File("none.bf"), ec);
    EXPECT_EQ(ec, errc::cannot_open);
    EXPECT_EQ(layers.size(), 3u);

    std::vector<std::string> listed;
    for (const orvobf::Entry& entry : layers.list("DATA", ec))
        listed.push_back(entry.path + (entry.is_dir ? "/ " : " ") + std::to_string(entry.layer));
    EXPECT_FALSE(ec) << ec.message();
    EXPECT_EQ(listed, (std::vector<std::string>{"DATA/A.TXT 1", "DATA/b.txt 2", "DATA/c.txt 1", "DATA/dir/ 2"}));
    std::vector<std::string> walked;
    layers.walk("", [&](const orvobf::Entry& entry) {
        walked.push_back(entry.path);
        return entry.name == "Only" ? orvobf::walk_action::skip_children : orvobf::walk_action::next;
    }, ec);
    EXPECT_FALSE(ec) << ec.message();
    EXPECT_EQ(walked, (std::vector<std::string>{"DATA", "DATA/A.TXT", "DATA/b.txt", "DATA/c.txt", "DATA/dir",
                                                "DATA/dir/x", "DATA/dir/y", "Mix", "Only", "outside"}));
    EXPECT_TRUE(layers.list("Data/a.txt", ec).empty());
    EXPECT_EQ(ec, errc::not_a_directory);

    // Files from every kind of layer read and seek alike.
    orvobf::File disk = layers.open_file("data/dir/y", ec);
    ASSERT_TRUE(disk.is_open()) << ec.message();
    std::string buffer(3, '\0');
    EXPECT_EQ(disk.read_at(3, AsBytes(buffer), ec), 3u);
    EXPECT_EQ(buffer, "k y");
    EXPECT_EQ(disk.seek(-2, std::ios::end, ec), 4u);
    EXPECT_EQ(disk.read(AsBytes(buffer), ec), 2u);
    EXPECT_TRUE(disk.eof());
}

}  // namespace
