// Who may read the files the programs write. Configurations hold passwords
// (scrambled, which is undone in one line) and the server's log lists user
// names, so a replaced file keeps the permissions it had, a new file holding
// secrets is owner-only, and neither is ever readable by others for a moment.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace virk::platform {
namespace {

constexpr mode_t kOwnerOnlyFile = S_IRUSR | S_IWUSR;

struct NewFileMode {
  mode_t mode;
  bool exact;  // set whatever the umask says
};

// Of the file being replaced when there is one: a rename would otherwise
// give it the default permissions.
NewFileMode ModeFor(const std::string& path, bool ownerOnly) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) return {existing.st_mode & 0777, true};
  if (ownerOnly) return {kOwnerOnlyFile, true};
  return {0666, false};  // less the umask, as fopen creates
}

std::string Reason(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += size_t(written);
  }
  return true;
}

// Created exclusively (a link planted in its place is not followed) with
// its final permissions from the start, then written; nothing is left on failure.
bool WriteExclusive(const std::string& path, const std::string& bytes, NewFileMode mode, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode.mode);
  if (fd < 0) {
    error = Reason("cannot create", path);
    return false;
  }
  bool done = true;
  if (mode.exact && fchmod(fd, mode.mode) != 0) {
    error = Reason("cannot set the permissions of", path);
    done = false;
  } else if (!WriteAll(fd, bytes)) {
    error = Reason("cannot write", path);
    done = false;
  }
  if (close(fd) != 0 && done) {
    error = Reason("cannot write", path);
    done = false;
  }
  if (!done) unlink(path.c_str());
  return done;
}

// Owner read and write at most for a regular file; links and folders stay.
bool NarrowFile(DIR* folder, const std::string& path, const char* name, std::string& error) {
  struct stat entry {};
  if (fstatat(dirfd(folder), name, &entry, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(entry.st_mode)) return true;
  const mode_t narrowed = entry.st_mode & kOwnerOnlyFile;
  if ((entry.st_mode & 0777) == narrowed || fchmodat(dirfd(folder), name, narrowed, 0) == 0) return true;
  error = Reason("cannot make owner-only:", path + "/" + name);
  return false;
}

}  // namespace

bool ReplaceFile(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error) {
  const std::string temporary = path + ".tmp";
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    error = Reason("cannot remove the stale", temporary);
    return false;
  }
  if (!WriteExclusive(temporary, bytes, ModeFor(path, ownerOnly), error)) return false;
  if (rename(temporary.c_str(), path.c_str()) == 0) return true;
  error = Reason("cannot replace", path);
  unlink(temporary.c_str());
  return false;
}

bool WriteNewFile(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error) {
  return WriteExclusive(path, bytes, ownerOnly ? NewFileMode{kOwnerOnlyFile, true} : NewFileMode{0666, false}, error);
}

bool RestrictFolderToOwner(const std::string& path, std::string& error) {
  // The folder first: once it is closed to others no one can swap its entries.
  if (chmod(path.c_str(), S_IRWXU) != 0) {
    error = Reason("cannot make owner-only:", path);
    return false;
  }
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) {
    error = Reason("cannot list", path);
    return false;
  }
  bool narrowed = true;
  while (const dirent* entry = readdir(folder))
    if (!NarrowFile(folder, path, entry->d_name, error)) narrowed = false;
  closedir(folder);
  return narrowed;
}

void CreateOwnerOnlyFromNowOn() {
  const mode_t previous = umask(S_IRWXG | S_IRWXO);
  umask(previous | S_IRWXG | S_IRWXO);
}

}  // namespace virk::platform
