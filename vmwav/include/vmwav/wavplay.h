/* The converted reads of a source: what closing a file needs of them.
 * Internal to libsndprobe. */
#ifndef VMWAV_WAVPLAY_H
#define VMWAV_WAVPLAY_H

#include "vmwav/wavfile.h"

/* Ends the conversion of w, releasing the codec module's stream. */
void WavStopConverting(VmWavFile *w);

#endif
