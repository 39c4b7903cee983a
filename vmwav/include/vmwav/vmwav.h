/* The WAV library: RIFF/WAVE reading and writing, raw access to the audio
 * data and conversion of the stored encoding to a PCM play format, plus the
 * codec driver registry. Internal to libsndprobe. Results are 32-bit;
 * handles are opaque and null on failure. */
#ifndef VMWAV_VMWAV_H
#define VMWAV_VMWAV_H

#include "VmLib/vmapi.h"
#include "vmwav/waveformat.h"

#define ACM_VERSION 262u
#define WAV_VERSION 264u

#define WAV_MODE_READ 2u   /* open an existing file for reading */
#define WAV_MODE_CREATE 6u /* create a new file for writing in the given format */

#define WAV_FORMAT_STORED 1u /* the encoding as stored in the file */
#define WAV_FORMAT_PLAY 2u   /* the format reads are converted to */

typedef struct VmAcmContext *HACMCONTEXT;
typedef struct VmAcmDriver *HACMDRIVER;
typedef struct VmWavFile *HWAVFILE;

#ifdef __cplusplus
extern "C" {
#endif

/* Codec driver registry; null for a wrong version or a null module handle. */
HACMCONTEXT AcmInit(uint32_t dwVersion, VMHINSTANCE hInstance);
/* Loads a driver shared object by file name (a bare name is looked for in the
 * program's own folder) and resolves pszEntry; null when either is missing. */
HACMDRIVER AcmDriverLoad(HACMCONTEXT hAcm, uint16_t wMid, uint16_t wPid, const wchar_t *pszFile,
                         const char *pszEntry, uint32_t dwReserved);
/* The driver receives its free message and is unloaded; -1 for a driver that
 * is not loaded through hAcm. */
int32_t AcmDriverUnload(HACMCONTEXT hAcm, HACMDRIVER hDriver);
/* Unloads the drivers still loaded through hAcm, then frees it. */
int32_t AcmTerm(HACMCONTEXT hAcm);

/* Mode WAV_MODE_READ: pwfx is null. Mode WAV_MODE_CREATE: pwfx is the stored
 * format of the new file; when it came from WavGetFormat(WAV_FORMAT_STORED)
 * of an open source, the new file keeps that source's header layout and other
 * chunks, so a full copy comes out byte for byte identical. A created file
 * takes its name only when WavClose completes it, replacing in one step the
 * regular file or link (never followed) of that name; any other kind of file
 * there makes WavOpen fail. */
HWAVFILE WavOpen(uint32_t dwVersion, VMHINSTANCE hInstance, const wchar_t *pszFile,
                 const WAVEFORMATEX *pwfx, uint32_t dwReserved1, uint32_t dwReserved2,
                 uint32_t dwMode);
/* A new format record (header plus cbSize bytes), freed with WavFormatFree:
 * WAV_FORMAT_STORED the file's own, WAV_FORMAT_PLAY what reads convert to
 * (16-bit mono PCM at the stored rate unless set otherwise). */
WAVEFORMATEX *WavGetFormat(HWAVFILE hWav, uint32_t dwWhich);
WAVEFORMATEX *WavFormatPcm(uint32_t nSamplesPerSec, uint16_t wBitsPerSample, uint16_t nChannels,
                           uint32_t dwReserved);
/* Sets the play format (dwWhich WAV_FORMAT_PLAY) of a file opened for
 * reading; only 16-bit mono PCM at the stored rate is accepted. */
int32_t WavSetFormat(HWAVFILE hWav, const WAVEFORMATEX *pwfx, uint32_t dwWhich);
/* Starts converted reads from the start of the audio; -1 when the stored
 * encoding has no decoder (or its codec module cannot be loaded). */
int32_t WavAcmConvertInit(HWAVFILE hWav, uint32_t dwOne, uint32_t dwReserved);
/* Length of the audio in milliseconds; negative on failure. */
int32_t WavGetLength(HWAVFILE hWav);
/* Exact size in bytes of the stored audio data; negative on failure. */
int32_t WavGetDataSize(HWAVFILE hWav);
/* Bytes delivered in the play format (0 at the end); negative on failure. */
int32_t WavReadFormatPlay(HWAVFILE hWav, void *pBuffer, int32_t cb);
/* A read-only view of the stored audio data (WavGetDataSize bytes), made on
 * the first call and kept until WavClose; null when the file cannot be
 * mapped or is shorter than its data chunk. Reading the view after another
 * program has shortened the file raises SIGBUS. */
const void *WavMapData(HWAVFILE hWav);
/* Moves the raw read position (origin 0 start, 1 current, 2 end of the audio
 * data); returns the new offset, -1 outside the data. */
int32_t WavSeek(HWAVFILE hWav, int32_t lOffset, int32_t nOrigin);
/* Raw stored bytes from the current raw offset; 0 or less is a failure. */
int32_t WavRead(HWAVFILE hWav, void *pBuffer, int32_t cb);
/* Bytes written; equal to cb on success. */
int32_t WavWrite(HWAVFILE hWav, const void *pBuffer, int32_t cb);
/* Copies up to cb raw stored bytes from the source's raw offset (as WavRead
 * would) onto the end of a created file's audio (as WavWrite would), without
 * passing them through a caller's buffer; advances the raw offset. Returns
 * the bytes copied, 0 or less on failure. */
int32_t WavCopyRaw(HWAVFILE hSource, HWAVFILE hDest, int32_t cb);
/* Ends converted reads; 0 also when none were started. */
int32_t WavAcmConvertTerm(HWAVFILE hWav, uint32_t dwReserved);
/* A created file is complete (sizes, fact count, pad byte) and in place
 * after this; when that fails, nothing of it is left. */
int32_t WavClose(HWAVFILE hWav);
/* Closes a created file without letting it appear. */
int32_t WavDiscard(HWAVFILE hWav);
/* -1 for a record that did not come from this library or is freed already. */
int32_t WavFormatFree(WAVEFORMATEX *pwfx);

#ifdef __cplusplus
}
#endif

#endif
