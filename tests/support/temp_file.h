// One file in a fresh folder under the system's temporary folder; the folder
// goes with everything in it when the test ends. The file itself exists only
// once something writes it.
#pragma once

#include <string>

#include "tests/support/bytes.h"
#include "tests/support/temp_folder.h"

class TempFile {
  public:
    explicit TempFile(const std::string& name = "file") : path_(folder_ / name) {}
    explicit TempFile(const Bytes& contents, const std::string& name = "file") : TempFile(name) {
        write(contents);
    }

    const std::filesystem::path& path() const { return path_; }
    // The path as the engine's entry points take it.
    const char16_t* wide() const { return wide_.c_str(); }

    void write(const Bytes& bytes) const { writeBytes(path_, bytes); }
    Bytes read() const { return readBytes(path_); }

  private:
    TempFolder folder_;
    std::filesystem::path path_;
    std::u16string wide_ = path_.u16string();
};
