/* Signal levels in the four units the command line reads and prints:
 * decibels of full scale, linear amplitude, 16-bit PCM value and percent. */
#ifndef SNDKIT_LEVELS_H
#define SNDKIT_LEVELS_H

#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* "-40dB", "50%", "0.5" or a PCM value such as "328", as a linear amplitude. */
double ParseLevel(const wchar_t *pszText);
double DbToLinear(double d);
double LinearToDb(double x);
int32_t LinearToPcm(double x);
double PcmToLinear(int16_t s);
/* A whole PCM value of which only the low 16 bits count ("65864" is 328);
 * 0 for a value that is not finite. */
double PcmValueToLinear(double v);

#ifdef __cplusplus
}
#endif

#endif
