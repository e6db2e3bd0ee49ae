#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

// A fresh folder under the system temporary folder, removed with everything in it at scope end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Writes a file (creating parent folders) and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const;

  private:
    std::filesystem::path path_;
};

std::string readAll(const std::filesystem::path& path);

}  // namespace testing_support
