/*
 * file.h - the thin file layer under the settings and journal files.
 *
 * POSIX meaning throughout; paths are relative to the working directory, which
 * is the terminal's file system. Results: a descriptor or byte count, -1 on failure.
 */
#ifndef SAFFRON_CORE_FILE_H
#define SAFFRON_CORE_FILE_H

#include <cstddef>

// Opens path with POSIX flags (O_RDWR, O_CREAT, ...); created files get permission 0664.
// Only regular files open: a FIFO, device or folder under a data file's name
// gives -1 at once (errno EINVAL) instead of blocking or reading as empty.
int mid_fileOpen(const char *path, int flags);

// What is found under a data file's name, before it is read or replaced.
enum FileState {
  FILE_ABSENT = 0,      // nothing there: a writer may create it
  FILE_READABLE = 1,    // a regular file this process may read
  FILE_UNREADABLE = 2,  // a regular file it may not read (permissions, I/O error)
  FILE_NOT_REGULAR = 3, // a folder, FIFO, device or socket
};
int mid_fileState(const char *path);
// Creates path empty when nothing is there (a data file is made on first
// read); leaves anything that is there alone. Returns mid_fileState's answer
// from before.
int mid_fileCreateMissing(const char *path);
// Short English name of a state for diagnostic lines.
const char *mid_fileStateText(int state);
// whence is SEEK_SET / SEEK_CUR / SEEK_END; returns the new offset or -1.
long mid_fileSeek(int fd, long offset, int whence);
int mid_fileRead(int fd, void *buf, std::size_t len);
int mid_fileWrite(int fd, const void *buf, std::size_t len);
int mid_fileClose(int fd);
int mid_fileRemove(const char *path);
// Size in bytes, -1 when the file does not exist.
long mid_fileSize(const char *path);
// 1 when the file exists, 0 otherwise.
int mid_fileExist(const char *path);
int mid_fileRename(const char *from, const char *to);

// Replaces path's whole content with len bytes so that a power loss at any
// instant leaves either the old or the new content: the bytes go to a
// temporary file in the same folder, are flushed, and the file is renamed over
// path. Returns len, or -1 (the old file is then untouched). A path that holds
// something other than a regular file, or a file this process may not write,
// is never replaced.
int mid_fileReplace(const char *path, const void *buf, std::size_t len);

#endif
