// A temporary folder for one test and whole-file reading and writing.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quillon::testkit {

// A fresh folder under the system temp folder named after the test, removed at the end of the
// test even when the test took away its permissions.
class TempDir {
public:
    TempDir() {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("quillon-") + (info ? info->test_suite_name() : "t") + "-" +
                           (info ? info->name() : "x") + "-XXXXXX";
        for (auto& c : name)
            if (c == '/') c = '_';
        std::string t = (std::filesystem::temp_directory_path() / name).string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes (a string or a vector of bytes) to a file of the folder; gives its path.
    template <class Data>
    std::string write(const std::string& name, const Data& data) const {
        std::string p = file(name);
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
        return p;
    }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace quillon::testkit
