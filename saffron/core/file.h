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
int mid_fileOpen(const char *path, int flags);
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
// path. Returns len, or -1 (the old file is then untouched).
int mid_fileReplace(const char *path, const void *buf, std::size_t len);

#endif
