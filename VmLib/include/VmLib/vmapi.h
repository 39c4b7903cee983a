/* What every unit of libsndprobe shares beyond the public header: the
 * library's own module handle and the process handle its records carry. */
#ifndef VMLIB_VMAPI_H
#define VMLIB_VMAPI_H

#include "sndprobe.h"

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
