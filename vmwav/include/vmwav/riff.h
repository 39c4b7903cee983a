/* RIFF/WAVE container parsing: where the format, fact and data chunks of a
 * file lie. Works on any random-access source, so that it can be exercised
 * on memory as well as on files. No tracing here: callers report the code. */
#ifndef VMWAV_RIFF_H
#define VMWAV_RIFF_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

/* Reads exactly cb bytes at offset; 0 on success. */
typedef int (*RiffReadProc)(void *pUser, uint64_t offset, void *pBuffer, size_t cb);

struct RiffSource {
    void *pUser;
    uint64_t cbFile;
    RiffReadProc pfnRead;
};

/* The largest "fmt " chunk a format record can describe (header + cbSize). */
#define RIFF_MAX_FMT_CHUNK (18u + 0xFFFFu)

struct RiffInfo {
    uint64_t cbFile = 0;
    std::vector<uint8_t> fmt; /* payload of the first "fmt " chunk */
    bool bHasFact = false;
    uint32_t dwFact = 0;
    uint64_t offFact = 0; /* file offset of the fact sample count */
    uint64_t offDataHeader = 0;
    uint64_t offData = 0; /* file offset of the first audio byte */
    uint32_t cbData = 0;
    bool bDataPadded = false; /* an odd data chunk followed by its pad byte */
    uint8_t bPad = 0;
    uint64_t offTrailer = 0; /* first byte after the data chunk and its pad */
    uint64_t offEnd = 0;     /* end of the last whole chunk */
    bool bClipped = false;   /* the data chunk ran past the end of the file */
};

/* Failure codes of RiffParse; each also serves as the error position. */
enum RiffError : int {
    RIFF_OK = 0,
    RIFF_ERR_READ = 1,
    RIFF_ERR_TRUNCATED,
    RIFF_ERR_NOT_RIFF,
    RIFF_ERR_NOT_WAVE,
    RIFF_ERR_CHUNK_SIZE,
    RIFF_ERR_FMT_SIZE,
    RIFF_ERR_DATA_BEFORE_FMT,
    RIFF_ERR_DATA_EMPTY,
    RIFF_ERR_NO_FMT,
    RIFF_ERR_NO_DATA,
};

/* Walks the chunks of the source; RIFF_OK with *pInfo filled, or a code.
 * Read as damaged recordings need: the RIFF size is not believed, a data
 * chunk that runs past the end holds what is there (cbData then counts the
 * bytes present, bClipped is set), and a chunk cut short after the audio
 * ends the walk. */
int RiffParse(const RiffSource &src, RiffInfo *pInfo);

#endif
