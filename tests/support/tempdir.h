#pragma once

#include <string>

namespace sonvola::test {

// A fresh folder below the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "sonvola-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

}  // namespace sonvola::test
