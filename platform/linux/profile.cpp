// Folders: the user's profile, folder creation and the program's own folder.
#include "platform/platform.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace virk::platform {

std::optional<std::string> ProfileFolder() {
  // USERPROFILE first so a configuration shared with the Windows build keeps
  // working; an empty variable counts as unset (it would mean "/Documents").
  for (const char* name : {"USERPROFILE", "HOME"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::string(value);
  }
  return std::nullopt;
}

bool MakeFolders(const std::string& path, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  if (!fs::is_directory(path, ec)) {
    error = "not a folder";
    return false;
  }
  return true;
}

std::string ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

}  // namespace virk::platform
