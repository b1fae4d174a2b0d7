// Plain file handling for keyforge: replacing writes, owner-only files for
// private keys, and the intermediate files that must not outlive the run.
#pragma once

#include <optional>
#include <string>

namespace virk::keyforge {

// Writes `bytes` to `path`, replacing what was there. A link or file left at
// the path is removed first and the new file is created exclusively, so the
// bytes never go through someone else's link. `ownerOnly` makes the file its
// owner's from its creation on (private keys).
bool WriteFileBytes(const std::string& path, const std::string& bytes, bool ownerOnly,
                    std::string& error);
std::optional<std::string> ReadFileBytes(const std::string& path, std::string& error);

// The intermediate PEM files. They hold the unencrypted key, so they are
// owner-only and go away on every exit path: explicitly through Remove(),
// which reports a failure, or at the latest with this object.
class IntermediateFiles {
 public:
  explicit IntermediateFiles(const std::string& profileFolder);
  ~IntermediateFiles();
  IntermediateFiles(const IntermediateFiles&) = delete;
  IntermediateFiles& operator=(const IntermediateFiles&) = delete;

  const std::string& KeyPath() const { return m_KeyPath; }
  const std::string& CertificatePath() const { return m_CertificatePath; }

  // Certificate first, then key. False, with the paths left behind in
  // `error`, when a file exists and cannot be removed.
  bool Remove(std::string& error);

 private:
  std::string m_KeyPath;
  std::string m_CertificatePath;
};

}  // namespace virk::keyforge
