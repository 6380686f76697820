// file.cpp - the POSIX file layer, and the crash-safe whole-file replace.
#include "core/file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int mid_fileOpen(const char *path, int flags) {
  if (path == nullptr) return -1;
  // Non-blocking only for the open itself: a FIFO must not hang the terminal.
  const int fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0664);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

int mid_fileState(const char *path) {
  struct stat st {};
  if (path == nullptr || ::stat(path, &st) != 0) return errno == ENOENT || path == nullptr ? FILE_ABSENT : FILE_UNREADABLE;
  if (!S_ISREG(st.st_mode)) return FILE_NOT_REGULAR;
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return FILE_UNREADABLE;
  ::close(fd);
  return FILE_READABLE;
}

int mid_fileCreateMissing(const char *path) {
  const int state = mid_fileState(path);
  if (state == FILE_ABSENT && path != nullptr) {
    // O_EXCL: whatever appeared meanwhile is not touched.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
    if (fd >= 0) ::close(fd);
  }
  return state;
}

const char *mid_fileStateText(int state) {
  switch (state) {
    case FILE_ABSENT: return "absent";
    case FILE_READABLE: return "readable";
    case FILE_UNREADABLE: return "unreadable";
    case FILE_NOT_REGULAR: return "not a regular file";
    default: return "unknown";
  }
}

long mid_fileSeek(int fd, long offset, int whence) { return static_cast<long>(::lseek(fd, offset, whence)); }

int mid_fileRead(int fd, void *buf, std::size_t len) {
  std::size_t done = 0;
  auto *p = static_cast<unsigned char *>(buf);
  while (done < len) {
    ssize_t n = ::read(fd, p + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<int>(done);
}

int mid_fileWrite(int fd, const void *buf, std::size_t len) {
  std::size_t done = 0;
  const auto *p = static_cast<const unsigned char *>(buf);
  while (done < len) {
    ssize_t n = ::write(fd, p + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<int>(done);
}

int mid_fileClose(int fd) { return ::close(fd); }

int mid_fileRemove(const char *path) { return path == nullptr ? -1 : ::unlink(path); }

long mid_fileSize(const char *path) {
  struct stat st {};
  if (path == nullptr || ::stat(path, &st) != 0) return -1;
  return static_cast<long>(st.st_size);
}

int mid_fileExist(const char *path) {
  struct stat st {};
  return (path != nullptr && ::stat(path, &st) == 0) ? 1 : 0;
}

int mid_fileRename(const char *from, const char *to) {
  return (from == nullptr || to == nullptr) ? -1 : ::rename(from, to);
}

int mid_fileReplace(const char *path, const void *buf, std::size_t len) {
  if (path == nullptr || (buf == nullptr && len > 0)) return -1;
  // The rename would swap a protected or foreign file for ours: refuse, as an
  // in-place write would have failed.
  struct stat st {};
  if (::stat(path, &st) == 0 && (!S_ISREG(st.st_mode) || ::access(path, W_OK) != 0)) return -1;
  const std::string temp = std::string(path) + ".new";
  int fd = mid_fileOpen(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) return -1;
  bool ok = mid_fileWrite(fd, buf, len) == static_cast<int>(len) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(temp.c_str(), path) != 0) {
    ::unlink(temp.c_str());
    return -1;
  }
  return static_cast<int>(len);
}
