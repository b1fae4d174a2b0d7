#include "file_io.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace virk::keyforge {

namespace fs = std::filesystem;

namespace {

std::string Describe(const std::string& path, const std::string& reason) {
  return "\"" + path + "\": " + reason;
}

// Removes a regular file or link; a missing file is no error.
bool RemoveIfPresent(const std::string& path, std::string& error) {
  std::error_code code;
  fs::remove(fs::u8path(path), code);
  if (code) error = Describe(path, code.message());
  return !code;
}

}  // namespace

bool WriteFileBytes(const std::string& path, const std::string& bytes, bool ownerOnly,
                    std::string& error) {
  return RemoveIfPresent(path, error) && platform::WriteNewFile(path, bytes, ownerOnly, error);
}

std::optional<std::string> ReadFileBytes(const std::string& path, std::string& error) {
  std::FILE* file = platform::OpenFile(path, "rb");
  if (file == nullptr) {
    error = Describe(path, std::strerror(errno));
    return std::nullopt;
  }
  std::string bytes;
  char buffer[4096];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, count);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = Describe(path, "ошибка чтения");
    return std::nullopt;
  }
  return bytes;
}

IntermediateFiles::IntermediateFiles(const std::string& profileFolder)
    : m_KeyPath(profileFolder + "/localhost.key"),
      m_CertificatePath(profileFolder + "/localhost.crt") {}

IntermediateFiles::~IntermediateFiles() {
  std::string ignored;  // the last chance; Remove() was the place to report
  Remove(ignored);
}

bool IntermediateFiles::Remove(std::string& error) {
  std::string certificateError;
  std::string keyError;
  const bool certificateRemoved = RemoveIfPresent(m_CertificatePath, certificateError);
  const bool keyRemoved = RemoveIfPresent(m_KeyPath, keyError);
  error = certificateError + (certificateError.empty() || keyError.empty() ? "" : "; ") + keyError;
  return certificateRemoved && keyRemoved;
}

}  // namespace virk::keyforge
