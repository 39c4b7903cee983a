/* Whole transfers on a file descriptor: interrupted and short transfers are
 * carried on until every byte has moved. */
#ifndef VMLIB_FDIO_H
#define VMLIB_FDIO_H

#include <errno.h>
#include <stddef.h>
#include <sys/types.h>
#include <unistd.h>

/* step(done) moves some of the bytes from offset done on and returns how
 * many; 0 on success, -1 once it fails or moves nothing. */
template <class Step> int FdTransferAll(size_t cb, Step step) {
    for (size_t done = 0; done < cb;) {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        done += size_t(n);
    }
    return 0;
}

/* Writes all cb bytes at p; 0, or -1 once a write fails. */
inline int FdWriteAll(int fd, const void *p, size_t cb) {
    const auto *b = static_cast<const unsigned char *>(p);
    return FdTransferAll(cb, [&](size_t done) { return write(fd, b + done, cb - done); });
}

#endif
