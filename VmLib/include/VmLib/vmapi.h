/* Conventions shared by every unit of libsndprobe: the export marker, the
 * opaque module/process handles and the 0 / -1 result style. */
#ifndef VMLIB_VMAPI_H
#define VMLIB_VMAPI_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
#define SNDPROBE_EXTERN_C extern "C"
#else
#define SNDPROBE_EXTERN_C
#endif

/* Marks a function exported by name from libsndprobe.so; everything else is hidden. */
#define SNDPROBE_API SNDPROBE_EXTERN_C __attribute__((visibility("default")))

/* Module handle of a caller (what Windows calls HINSTANCE); any non-null value. */
typedef void *VMHINSTANCE;
/* Handle of the current process, stored in records but never used. */
typedef void *VMHPROCESS;

#ifdef __cplusplus
extern "C" {
#endif

/* The module handle of libsndprobe itself; never null. */
VMHINSTANCE VmModuleHandle(void);
/* A stand-in for the current process handle; never null. */
VMHPROCESS VmCurrentProcess(void);

#ifdef __cplusplus
}
#endif

#endif
