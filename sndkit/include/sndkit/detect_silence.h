/* The silence detector's automatic level: a first pass over the whole audio
 * estimates the noise floor, and the detector then runs with a threshold a
 * margin above it, bridging short bursts and ending speech at a lower level
 * than it starts it. Internal to libsndprobe. */
#ifndef SNDKIT_DETECT_SILENCE_H
#define SNDKIT_DETECT_SILENCE_H

#include "VmLib/vmapi.h"

/* Noise floor and threshold rule, in dBFS (see sndprobe(1), "-silence:auto"). */
#define SILENCE_AUTO_PERCENTILE 10  /* of the windows' RMS levels */
#define SILENCE_AUTO_MARGIN_DB 9.0  /* threshold above the floor */
#define SILENCE_AUTO_MIN_DB (-65.0) /* clamp of the threshold */
#define SILENCE_AUTO_MAX_DB (-30.0)
#define SILENCE_AUTO_RELEASE_DB 3.0   /* speech ends this far below the threshold */
#define SILENCE_AUTO_BRIDGE_MS 60     /* shorter bursts between silences stay silence */
#define SILENCE_AUTO_SOFT_MS 40       /* sound above the release this long is activity */
#define SILENCE_AUTO_SYLLABLES_MS 150 /* connected sound this long, with a burst, is speech */
#define SILENCE_AUTO_GAP_MS 150       /* sounds this close after speech are speech */
#define SILENCE_AUTO_ONSET_GAP_MS 250 /* sounds this close before speech begin it */
#define SILENCE_AUTO_SOFT_DB 6.0      /* speech this close above the threshold ends softly, */
#define SILENCE_AUTO_HOLD_MS 60       /* this much after it falls below the release level */

/* The threshold (a 16-bit peak amplitude, as the level of -silence) for cb
 * bytes of pwfx's PCM cut into windows of msWindow: the floor is the
 * percentile of the windows' RMS in dBFS with the mean of every 2.5 ms
 * taken out (a high-pass near 200 Hz, as the detector then measures),
 * digital silence counting as below every level. */
int32_t SilenceAutoThreshold(const WAVEFORMATEX *pwfx, const uint8_t *pData, int32_t cb,
                             uint32_t msWindow);

/* Puts a silence detector that has seen no data yet into the automatic mode,
 * its threshold estimated from the whole audio in pData; 0, or -1 after an
 * error position (not a live silence detector, or data already analysed). */
int32_t DetectSilenceAuto(HDETECT hDetect, const uint8_t *pData, int32_t cb);

#endif
