// A fresh folder under the system's temporary folder, removed with everything
// in it when the test ends.
#pragma once

#include <filesystem>
#include <random>
#include <string>

#include "tests/support/bytes.h"

class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("moravel-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes a file with the given bytes and returns its path.
    std::filesystem::path write(const std::string& name, const Bytes& bytes) const {
        std::filesystem::path file = path_ / name;
        writeBytes(file, bytes);
        return file;
    }

  private:
    std::filesystem::path path_;
};

inline std::u16string u16(const std::filesystem::path& path) {
    return path.u16string();
}
