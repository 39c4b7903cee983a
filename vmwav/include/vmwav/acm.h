/* The messages a driver's entry point receives from the registry. A driver
 * that answers the load message with 0 refuses to be loaded. */
#ifndef VMWAV_ACM_H
#define VMWAV_ACM_H

#include <stdint.h>

#define ACM_DRV_LOAD 1u
#define ACM_DRV_FREE 6u

/* uDriverId, driver handle, message, two message parameters. */
typedef intptr_t (*ACMDRIVERPROC)(uintptr_t dwDriverId, void *hDriver, uint32_t uMsg,
                                  intptr_t lParam1, intptr_t lParam2);

#endif
