#include "files/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace csolver {

namespace fs = std::filesystem;

namespace {

// A signal handler can only reach static storage; the path of the temporary
// file in flight is copied into a fixed buffer so that the handler needs
// nothing but unlink.
char temporary_path[4096];
volatile std::sig_atomic_t temporary_registered = 0;

void register_temporary_file(const fs::path& path) {
  temporary_registered = 0;
  const std::string text = path.string();
  const std::size_t n = std::min(text.size(), sizeof temporary_path - 1);
  std::memcpy(temporary_path, text.data(), n);
  temporary_path[n] = '\0';
  temporary_registered = n == text.size() ? 1 : 0;
}

void clear_temporary_file() { temporary_registered = 0; }


[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
  throw OutputError(what + " " + path.string() + ": " + std::strerror(error));
}

// A temporary file beside `target`, removed again unless released.
class TemporaryFile {
 public:
  explicit TemporaryFile(const fs::path& dir) {
    std::string pattern = (dir / ".contribution_solver.XXXXXX").string();
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) fail("cannot create a file in", dir, errno);
    path_ = pattern;
    register_temporary_file(path_);
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
    clear_temporary_file();
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const fs::path& path() const { return path_; }

  void write_all(const std::string& content, const fs::path& target) {
    write_fully(fd_, content, target);
    // Plain files with the usual permissions, as the user's umask allows.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) fail("cannot write", target, errno);
  }

  void release() { path_.clear(); }

 private:
  int fd_ = -1;
  fs::path path_;
};

}  // namespace

void probe_writable(const fs::path& dir) { TemporaryFile probe(dir); }

void write_fully(int fd, const std::string& content, const fs::path& target) {
  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("cannot write", target, n < 0 ? errno : EIO);
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  // Readers must never find a renamed file whose data are not on disk yet;
  // devices and pipes cannot sync, which is no write failure.
  if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS) fail("cannot write", target, errno);
}

void write_file_atomically(const fs::path& path, const std::string& content) {
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  TemporaryFile temporary(dir);
  temporary.write_all(content, path);
  if (std::rename(temporary.path().c_str(), path.c_str()) != 0) fail("cannot write", path, errno);
  temporary.release();
}

fs::path write_new_file(const fs::path& dir, const std::string& stem, const std::string& ext,
                        const std::string& content) {
  TemporaryFile temporary(dir);
  const fs::path first = dir / (stem + ext);
  temporary.write_all(content, first);
  // link() fails on an existing name, so an earlier file is never replaced,
  // even by a run that finishes in the same second.
  for (int n = 1;; ++n) {
    const fs::path candidate = n == 1 ? first : dir / (stem + "_" + std::to_string(n) + ext);
    if (link(temporary.path().c_str(), candidate.c_str()) == 0) return candidate;
    if (errno == EEXIST) continue;
    if (errno != EPERM && errno != EOPNOTSUPP) fail("cannot write", candidate, errno);
    // No hard links on this file system: reserve the name, then rename onto it.
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      fail("cannot write", candidate, errno);
    }
    close(fd);
    if (std::rename(temporary.path().c_str(), candidate.c_str()) != 0) fail("cannot write", candidate, errno);
    temporary.release();
    return candidate;
  }
}

void remove_temporary_file_in_flight() noexcept {
  if (temporary_registered) unlink(temporary_path);
}

}  // namespace csolver
