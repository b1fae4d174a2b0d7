// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
#pragma once

#include <filesystem>
#include <string>

#include <stdlib.h>

namespace virk::server::test {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "virk-server-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) m_Path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!m_Path.empty()) std::filesystem::remove_all(m_Path, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return m_Path; }
  std::string operator/(const std::string& name) const { return m_Path + "/" + name; }

 private:
  std::string m_Path;
};

}  // namespace virk::server::test
