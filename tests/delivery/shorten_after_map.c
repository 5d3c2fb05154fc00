/* Preloaded into moravel by the delivery test (LD_PRELOAD): right after the
 * file named by MORAVEL_TEST_SHORTEN_SOURCE is mapped, it is cut to a quarter
 * of its size, as if another program shortened it while it is read. The
 * program itself carries no such hook. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

typedef void* (*MmapFunction)(void*, size_t, int, int, int, off_t);

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    static MmapFunction real;
    if (!real) real = (MmapFunction)dlsym(RTLD_NEXT, "mmap");
    void* view = real(address, length, protection, flags, fd, offset);
    const char* victim = getenv("MORAVEL_TEST_SHORTEN_SOURCE");
    struct stat mapped, named;
    if (view == MAP_FAILED || fd < 0 || !victim || !*victim || fstat(fd, &mapped) != 0 ||
        stat(victim, &named) != 0 || mapped.st_dev != named.st_dev ||
        mapped.st_ino != named.st_ino || !S_ISREG(mapped.st_mode))
        return view;
    if (truncate(victim, mapped.st_size / 4) != 0) abort();
    return view;
}
