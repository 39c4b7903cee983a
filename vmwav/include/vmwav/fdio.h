/* Whole transfers on a file descriptor: interrupted and short transfers are
 * carried on until every byte has moved. */
#ifndef VMWAV_FDIO_H
#define VMWAV_FDIO_H

#include <errno.h>
#include <stddef.h>
#include <sys/types.h>

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

#endif
