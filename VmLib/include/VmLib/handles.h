/* A table of live records, so that a handle is checked against what was
 * really handed out instead of by probing memory. Single-threaded, as is
 * the whole of libsndprobe. */
#ifndef VMLIB_HANDLES_H
#define VMLIB_HANDLES_H

#include <stdint.h>

/* Record kinds; one per handle type. */
enum : uint32_t {
    HANDLE_KIND_MEM = 1,
    HANDLE_KIND_ARRAY,
    HANDLE_KIND_DETECT,
    HANDLE_KIND_GOERTZEL,
    HANDLE_KIND_ACMARG,
    HANDLE_KIND_ACM,
    HANDLE_KIND_ACMDRIVER,
    HANDLE_KIND_WAVFILE,
    HANDLE_KIND_WAVFORMAT,
};

/* Records p as a live handle of dwKind; -1 when p is null or already live. */
int32_t HandleAdd(const void *p, uint32_t dwKind);
/* Forgets p; -1 when it is not a live handle of dwKind. */
int32_t HandleRemove(const void *p, uint32_t dwKind);
/* Non-zero when p is a live handle of dwKind. */
int32_t HandleIsLive(const void *p, uint32_t dwKind);

#endif
