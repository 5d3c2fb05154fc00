/* Preloaded into moravel by the delivery test (LD_PRELOAD) to make the
 * system fail the way real disks and other programs do. The program itself
 * carries no such hook.
 *
 * MORAVEL_TEST_SHORTEN_SOURCE=FILE  the first read from the start of FILE gets
 *     an eighth of it, then FILE is cut to a quarter of its size, as if another
 *     program shortened it while it is read.
 * MORAVEL_TEST_FAIL_CLOSE=FOLDER    closing a file written below FOLDER reports
 *     EIO (after really closing it), as a network or full disk does when data
 *     the system still held cannot be written.
 * MORAVEL_TEST_FAIL_WRITE=FOLDER    writing to a file below FOLDER fails with
 *     ENOSPC once some bytes went in, as on a disk that fills up. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

typedef ssize_t (*ReadFunction)(int, void*, size_t);
typedef int (*CloseFunction)(int);
typedef ssize_t (*WriteFunction)(int, const void*, size_t);

static int isVictim(int fd, struct stat* opened) {
    const char* victim = getenv("MORAVEL_TEST_SHORTEN_SOURCE");
    struct stat named;
    return fd >= 0 && victim && *victim && fstat(fd, opened) == 0 && stat(victim, &named) == 0 &&
           opened->st_dev == named.st_dev && opened->st_ino == named.st_ino &&
           S_ISREG(opened->st_mode);
}

ssize_t read(int fd, void* buffer, size_t count) {
    static ReadFunction real;
    if (!real) real = (ReadFunction)dlsym(RTLD_NEXT, "read");
    struct stat opened;
    if (!isVictim(fd, &opened) || lseek(fd, 0, SEEK_CUR) != 0 || opened.st_size < 64)
        return real(fd, buffer, count);
    const size_t first = (size_t)opened.st_size / 8;
    const ssize_t got = real(fd, buffer, count < first ? count : first);
    if (truncate(getenv("MORAVEL_TEST_SHORTEN_SOURCE"), opened.st_size / 4) != 0) abort();
    return got;
}

static int writtenBelow(int fd, const char* folder) {
    const int mode = fcntl(fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return 0;
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0) return 0;
    path[length] = '\0';
    const size_t prefix = strlen(folder);
    return strncmp(path, folder, prefix) == 0 && path[prefix] == '/';
}

int close(int fd) {
    static CloseFunction real;
    if (!real) real = (CloseFunction)dlsym(RTLD_NEXT, "close");
    const char* folder = getenv("MORAVEL_TEST_FAIL_CLOSE");
    const int fail = fd >= 0 && folder && *folder && writtenBelow(fd, folder);
    const int result = real(fd);
    if (result != 0 || !fail) return result;
    errno = EIO;
    return -1;
}

ssize_t write(int fd, const void* data, size_t bytes) {
    static WriteFunction real;
    if (!real) real = (WriteFunction)dlsym(RTLD_NEXT, "write");
    const char* folder = getenv("MORAVEL_TEST_FAIL_WRITE");
    if (!folder || !*folder || fd < 0 || !writtenBelow(fd, folder)) return real(fd, data, bytes);
    /* Part of the first write lands, so the file is not empty when it fails. */
    struct stat info;
    if (fstat(fd, &info) == 0 && info.st_size == 0 && bytes > 1) return real(fd, data, bytes / 2);
    errno = ENOSPC;
    return -1;
}
