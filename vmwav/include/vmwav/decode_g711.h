/* G.711 expansion of A-law and µ-law bytes to 16-bit linear samples. */
#ifndef VMWAV_DECODE_G711_H
#define VMWAV_DECODE_G711_H

#include <stdint.h>

/* 256-entry tables indexed by the stored byte. */
const int16_t *G711AlawTable(void);
const int16_t *G711MulawTable(void);

#endif
