/* sndprobe.h: the functions libsndprobe.so exports by name.
 *
 * Plain C on opaque handles, single-threaded. Every create function takes the
 * interface version of its family first (the *_VERSION constant below) and a
 * non-null module handle of the caller second. Results are 0 for success and
 * -1 for failure unless a function says otherwise; a handle or pointer is
 * null on failure. No function throws. Every failure writes an error position
 * to the trace channel, which "trace.ini" configures (see sndprobe(1)).
 * Strings are wide (wchar_t). */
#ifndef SNDPROBE_H
#define SNDPROBE_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/* Inside the library the exported functions are marked visible; a caller
 * sees plain declarations. */
#if defined(SNDPROBE_BUILDING) && defined(__GNUC__)
#define SNDPROBE_API __attribute__((visibility("default")))
#else
#define SNDPROBE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Module handle of a caller (what Windows calls HINSTANCE); any non-null value. */
typedef void *VMHINSTANCE;

/* ---- Wave format ----------------------------------------------------------- */

#define WAVE_FORMAT_PCM 0x0001

/* The 18-byte wave format header as stored in a WAV file's "fmt " chunk. */
#pragma pack(push, 1)
typedef struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize; /* bytes of format-specific data that follow */
} WAVEFORMATEX;
#pragma pack(pop)

/* ---- Counting allocator ---------------------------------------------------- */

#define MEM_VERSION 262u
#define MEM_NOZERO 0x00000001u

/* Opaque allocator record. A null HVMMEM always means the process default. */
typedef struct VmMemRecord *HVMMEM;

/* Returns the default record (one more reference), creating it on first use.
 * Null when dwVersion is not MEM_VERSION or hInstance is null. */
SNDPROBE_API HVMMEM MemInit(uint32_t dwVersion, VMHINSTANCE hInstance);
/* Drops one reference of the default record (null = default), freeing it at
 * zero; any other valid record is freed at once. -1 for an invalid handle. */
SNDPROBE_API int32_t MemTerm(HVMMEM hMem);
/* cb bytes, zero-filled unless MEM_NOZERO; null on failure (traced at level 1).
 * pszFile and nLine name the caller in the allocation trace. */
SNDPROBE_API void *MemAllocEx(HVMMEM hMem, uint32_t cb, uint32_t dwFlags, const wchar_t *pszFile,
                              uint32_t nLine);
/* Resizes a block this allocator gave out; new bytes zeroed unless MEM_NOZERO.
 * Null on failure, the old block then stays valid. */
SNDPROBE_API void *MemReAllocEx(HVMMEM hMem, void *pBlock, uint32_t cb, uint32_t dwFlags,
                                const wchar_t *pszFile, uint32_t nLine);
/* Null on success (also for a null pBlock); pBlock itself when it is not a
 * live block of this allocator. */
SNDPROBE_API void *MemFreeEx(HVMMEM hMem, void *pBlock, const wchar_t *pszFile, uint32_t nLine);
/* The size asked for when the block was allocated; 0 for an unknown pointer. */
SNDPROBE_API uint32_t MemSize(HVMMEM hMem, const void *pBlock);

/* ---- Dynamic array --------------------------------------------------------- */

/* Opaque growable array of pointer-sized values. */
typedef struct VmArrayRecord *HVMARRAY;

/* Comparator: <0 when *a sorts before *b, 0 when equal, >0 after. */
typedef int32_t (*PFNSORTCOMPARE)(const void *a, const void *b);

/* A new empty array; null unless dwVersion is MEM_VERSION and hInstance is set. */
SNDPROBE_API HVMARRAY ArrayCreate(uint32_t dwVersion, VMHINSTANCE hInstance);
/* Releases the storage and the record (never what the elements point to);
 * -1 for a bad handle or a failed release, the array is then kept. */
SNDPROBE_API int32_t ArrayDestroy(HVMARRAY hArray);
/* Number of elements, or -1 for a bad handle. */
SNDPROBE_API int32_t ArrayGetSize(HVMARRAY hArray);
/* ArrayGetSize - 1 (so -2 for a bad handle). */
SNDPROBE_API int32_t ArrayGetUpperBound(HVMARRAY hArray);
/* Sets the number of elements; new slots are 0. nGrowBy -1 keeps the current
 * growth step, 0 lets the size choose it (an eighth, 4 to 1024 slots).
 * -1 for a negative size or a failed allocation, the array is then unchanged. */
SNDPROBE_API int32_t ArraySetSize(HVMARRAY hArray, int32_t nNewSize, int32_t nGrowBy);
/* Shrinks the storage to the elements in use; an empty array gives it all back. */
SNDPROBE_API int32_t ArrayFreeExtra(HVMARRAY hArray);
/* ArraySetSize(hArray, 0, -1): no elements, no storage. */
SNDPROBE_API int32_t ArrayRemoveAll(HVMARRAY hArray);
/* The element, or 0 when nIndex is out of range. */
SNDPROBE_API uintptr_t ArrayGetAt(HVMARRAY hArray, int32_t nIndex);
/* Stores value at nIndex; -1 when nIndex is not an element. */
SNDPROBE_API int32_t ArraySetAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value);
/* Stores value at nIndex, growing to nIndex + 1 elements first if needed. */
SNDPROBE_API int32_t ArraySetAtGrow(HVMARRAY hArray, int32_t nIndex, uintptr_t value);
/* The new element's index, or -1. */
SNDPROBE_API int32_t ArrayAdd(HVMARRAY hArray, uintptr_t value);
/* Stores value into nCount new slots at nIndex, moving the rest up; beyond the
 * end the gap is filled with 0. -1 for nIndex < 0 or nCount < 1. */
SNDPROBE_API int32_t ArrayInsertAt(HVMARRAY hArray, int32_t nIndex, uintptr_t value,
                                   int32_t nCount);
/* Removes nCount elements at nIndex, moving the rest down; -1 when the range
 * is not inside the array (nothing changes then). */
SNDPROBE_API int32_t ArrayRemoveAt(HVMARRAY hArray, int32_t nIndex, int32_t nCount);
/* Heap sort of the slots; the comparator receives pointers to two slots. */
SNDPROBE_API int32_t ArraySort(HVMARRAY hArray, PFNSORTCOMPARE pfnCompare);
/* First index after nAfter (-1: from the start) whose slot matches key: the
 * comparator, called (slot, key), answers 0, or without one the bytes are
 * equal. -1 for no match, -2 for a bad start or handle. */
SNDPROBE_API int32_t ArraySearch(HVMARRAY hArray, uintptr_t key, int32_t nAfter,
                                 uint32_t dwReserved, PFNSORTCOMPARE pfnCompare);

/* ---- Sort ------------------------------------------------------------------ */

/* Sort algorithm flags; the lowest set bit of the low 8 selects, none = heap. */
#define SORT_INSERTION 0x01u
#define SORT_BUBBLE 0x02u
#define SORT_SHELL 0x04u
#define SORT_SELECTION 0x08u
#define SORT_HEAP 0x10u
#define SORT_QUICK 0x20u

/* In-place sort of nCount elements of cbElement bytes; the lowest set flag of
 * dwFlags picks the algorithm, none the heap sort. Without a comparator the
 * bytes are compared as unsigned. 0, or -1 for a bad argument (nCount 0 is
 * always fine). */
SNDPROBE_API int32_t Sort(void *pBase, int32_t nCount, int32_t cbElement, PFNSORTCOMPARE pfnCompare,
                          uint8_t dwFlags);
/* 32-bit truth values: non-zero sorts before zero. */
SNDPROBE_API int32_t SortCompareBool(const void *a, const void *b);
/* Signed 16-bit values. */
SNDPROBE_API int32_t SortCompareShort(const void *a, const void *b);
/* Signed 32-bit values; the difference is saturated, so its sign is always right. */
SNDPROBE_API int32_t SortCompareLong(const void *a, const void *b);
/* Elements are pointers to zero-terminated wide strings: lowered, then ordered
 * by the locale's collation; a null string sorts first. */
SNDPROBE_API int32_t SortCompareString(const void *a, const void *b);
/* Everything is equal. */
SNDPROBE_API int32_t SortCompareNull(const void *a, const void *b);

/* ---- Detectors ------------------------------------------------------------- */

/* A stream of PCM bytes is cut into windows, each window classified, and
 * every long enough run of equally classified windows reported as one timed
 * event through a callback. */

#define DETECT_VERSION 256u

/* Kinds; an instance detects exactly one. */
#define DETECT_SILENCE 0x00000001u
#define DETECT_TONE 0x00000002u
#define DETECT_DTMF 0x00000004u
#define DETECT_BAUDOT 0x00000008u

/* msDuration, msWindow (and the tone frequency or silence threshold in
 * lParam) equal to this select the kind's default. */
#define DETECT_DEFAULT 0xFFFFFFFFu

/* Silence flag: compare the mean absolute amplitude instead of the RMS. */
#define DETECT_SILENCE_MEAN 0x00000001u

/* DTMF flag: decide each window from energy ratios over the full samples
 * (row and column against the window's energy, their groups, each other
 * and their second harmonics) instead of fixed magnitudes of 8-bit samples;
 * finds keys far below the default detector's level and in noise. */
#define DETECT_DTMF_SENSITIVE 0x00000100u

/* Baudot flags. ROBUST: bits from the energy of the mark and space tones
 * over each bit, timed from the start bit's edge, instead of the rate of
 * zero crossings per window. UNSHIFT_ON_SPACE: a space returns to the
 * letters shift, for transmitters that send no letters shift after
 * figures. */
#define DETECT_BAUDOT_ROBUST 0x00000100u
#define DETECT_BAUDOT_UNSHIFT_ON_SPACE 0x00000200u

/* Baudot characters that report a change of shift. */
#define DETECT_BAUDOT_FIGURES 27u
#define DETECT_BAUDOT_LETTERS 31u

typedef struct DetectInstance *HDETECT;

/* One event: a run that started msStart ms into the data and lasted
 * msDuration ms. lParam is the threshold (silence, sign-extended), the
 * frequency (tone) or the character (DTMF key, Baudot). The result is ignored. */
typedef int32_t (*DetectEventProc)(uintptr_t dwUser, uint32_t dwType, uint32_t msStart,
                                   uint32_t msDuration, uint32_t msWindow, uint32_t lParam);

/* A detector of one kind for PCM data described by pwfx (copied). dwVersion
 * must be DETECT_VERSION, hInstance non-null, pwfx PCM, and msWindow must
 * give at least one byte. pfnEventProc may be null (events are dropped);
 * dwUser is handed back to it. Null on any failure, nothing left allocated. */
SNDPROBE_API HDETECT DetectInit(uint32_t dwVersion, VMHINSTANCE hInstance, const WAVEFORMATEX *pwfx,
                                uint32_t dwType, uint32_t lParam, uint32_t msDuration,
                                uint32_t msWindow, DetectEventProc pfnEventProc, uintptr_t dwUser,
                                uint32_t dwFlags);
/* Analyses sizBuf bytes in windows; events are reported as their runs end.
 * A window that the block leaves unfinished is completed by the next block,
 * so the events do not depend on how the data is cut into blocks. A null
 * pBuffer marks the end of the data: an unfinished window is analysed as it
 * is and the open run reported. 0, or -1 for an invalid handle, a negative
 * size, no memory to keep an unfinished window, or a failed window (the
 * windows before it were analysed). */
SNDPROBE_API int32_t DetectProcessBlock(HDETECT hDetect, const void *pBuffer, int32_t sizBuf,
                                        uint32_t dwReserved);
/* Destroys the detector; 0, or -1 for an invalid handle or a refused release. */
SNDPROBE_API int32_t DetectTerm(HDETECT hDetect);

/* ---- Goertzel filter ------------------------------------------------------- */

/* The magnitude of one DFT bin of a block of 8- or 16-bit PCM. */

#define GOERTZEL_VERSION 256u

typedef struct GoertzelInstance *HGOERTZEL;

/* A filter for the bin nearest nFrequency in blocks of cbBlock bytes of
 * cbSample-byte samples (1: unsigned 8-bit, 2: signed 16-bit). Null for a
 * wrong version, a null module handle, a sample size other than 1 or 2, a
 * rate of 0 or less, a block shorter than one sample, or an exhausted heap. */
SNDPROBE_API HGOERTZEL GoertzelInit(uint32_t dwVersion, VMHINSTANCE hInstance,
                                    int32_t nSamplesPerSec, int32_t nFrequency, int32_t cbBlock,
                                    int32_t cbSample, uint32_t dwFlags);
/* The bin's magnitude over cbBuffer bytes, every sample reduced to unsigned
 * 8 bits (a tone of 8-bit amplitude A gives about A * samples / 2); 0 for an
 * empty buffer, -1 for an invalid handle or a null buffer. */
SNDPROBE_API int32_t GoertzelProcessBlock(HGOERTZEL hGoertzel, const void *pBuffer,
                                          uint32_t cbBuffer, uint32_t dwReserved);
/* 0, or -1 for an invalid handle or a refused release. */
SNDPROBE_API int32_t GoertzelTerm(HGOERTZEL hGoertzel);

/* ---- Command-line options -------------------------------------------------- */

/* An option is "-name[:value]" or "/name[:value]"; names match without regard
 * to case. Because "/" also starts absolute file names, an argument that
 * begins with "/" is an option only when letters alone follow up to the ":"
 * or the end ("/SILENCE:-30dB" is, "/home/a.wav" and "/x.wav" are not).
 * Values are cut to ARG_VALUE_CHARS - 1 characters. */

#define ARG_VALUE_CHARS 512
/* GetArgString: expand backslash escapes (\n, \t, \xHH, \uHHHH, octal...). */
#define ARGF_UNESCAPE 0x00000001u

/* Index of the first argument at or after nIndex that matches pszName (null
 * name: the first plain argument), its value copied into pszValue (cchValue
 * characters, always terminated) when given; -1 when none matches. */
SNDPROBE_API int32_t GetArgOption(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                  const wchar_t *pszName, wchar_t *pszValue, int32_t cchValue);
/* A new copy of the option's non-empty value, else of the default, else null.
 * The copy comes from the counting allocator: MemFreeEx(NULL, p, ...). */
SNDPROBE_API wchar_t *GetArgString(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                   const wchar_t *pszName, const wchar_t *pszDefault,
                                   uint32_t dwFlags);
/* The option's non-empty value as a whole number (saturated at the 32-bit
 * range), else nDefault. */
SNDPROBE_API int32_t GetArgInt(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                               const wchar_t *pszName, int32_t nDefault);
/* nDefault when absent; true when the value is empty or not a number. */
SNDPROBE_API int32_t GetArgBool(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                const wchar_t *pszName, int32_t nDefault);
/* The option's non-empty value as a decimal number (whatever the locale),
 * else dDefault. */
SNDPROBE_API double GetArgFloat(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                const wchar_t *pszName, double dDefault);

/* ---- Codec drivers --------------------------------------------------------- */

#define ACMARG_VERSION 256u

typedef struct AcmArgContext *HACMARG;

/* Sets up the codec registry and loads the drivers of every
 * "-acm[:file[,mid,pid]]" option from argument 1 on (a bare -acm loads the
 * built-in table; at most 16 named files). A driver file is a shared object
 * with the entry point "DriverProc"; a name without "/" is looked for in the
 * library's folder. Drivers that cannot be loaded are reported and skipped.
 * Null for a wrong version, a null module handle or a failed registry. */
SNDPROBE_API HACMARG AcmArgInit(uint32_t dwVersion, VMHINSTANCE hInstance, int32_t nCount,
                                wchar_t **ppszArgs, uint32_t dwReserved);
/* Unloads every driver and the registry, and frees the context; 0, or -1 when
 * anything could not be released (the rest is still released). */
SNDPROBE_API int32_t AcmArgTerm(HACMARG hAcmArg);
/* Index of the first argument from nIndex on that is an option named after
 * a format, the names tried in their fixed order; its value is copied into
 * pszValue (cchValue characters, always terminated) when given. -1 if none. */
SNDPROBE_API int32_t WavFormatGetArgOption(int32_t nIndex, int32_t nCount, wchar_t **ppszArgs,
                                           uintptr_t dwReserved, wchar_t *pszValue,
                                           int32_t cchValue);

/* ---- The command line ------------------------------------------------------ */

/* Runs sndprobe over argv (argv[0] is the program path) as the sndprobe
 * program does, printing to standard output; returns the exit status: 0 on
 * success (also without arguments), 1 on any failure. */
SNDPROBE_API int SndProbeMain(int argc, wchar_t **argv);

#ifdef __cplusplus
}
#endif

#endif
