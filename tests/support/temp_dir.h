#pragma once

// A folder of its own for each test, removed with everything in it afterwards.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::testing {

// Makes a folder of a name nobody else has below the system's temporary folder.
inline std::string MakeUniqueFolder(std::string_view prefix) {
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto path = std::filesystem::temp_directory_path() /
                          (std::string(prefix) + "-" + std::to_string(random() % 1000000000U));
        std::error_code error;
        if (std::filesystem::create_directory(path, error)) {
            return path.string();
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

class TempDir {
public:
    TempDir() : m_path(MakeUniqueFolder("quaverly")) {}
    ~TempDir() {
        if (!m_kept) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Leaves the folder in place after the test, for a look at it or a run of another build.
    void Keep() { m_kept = true; }
    // `name` may hold folders, separated by '/' on every platform.
    std::string operator/(std::string_view name) const {
        std::string path = m_path + kSeparator + std::string(name);
        std::replace(path.begin(), path.end(), '/', kSeparator);
        return path;
    }

    // Writes a file below the folder, making the folders on its way.
    std::string Write(std::string_view name, std::string_view bytes) const {
        const std::string path = *this / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string MakeFolder(std::string_view name) const {
        const std::string path = *this / name;
        std::filesystem::create_directories(path);
        return path;
    }

private:
    static constexpr char kSeparator = std::filesystem::path::preferred_separator;
    std::string m_path;
    bool m_kept = false;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace quaverly::testing
