// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes away; reading a file or a folder
// back.
#ifndef ORVOBF_TESTS_TEMP_DIR_H
#define ORVOBF_TESTS_TEMP_DIR_H

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class TempDir {
public:
    TempDir() {
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = base / ("orvobf-" + std::to_string(seed()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }

    // Writes `bytes` to `name` inside the directory and returns its path.
    std::string Write(const std::string& name, std::string_view bytes) const {
        const std::string file = File(name);
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out) {
            if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
        return file;
    }
    std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) const {
        return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

private:
    std::filesystem::path path_;
};

// A whole file's bytes ("" when it cannot be read).
inline std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names in a folder: what a test left there, and nothing else.
inline std::set<std::string> FolderNames(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

#endif
