/* RIFF/WAVE writing: a new file in a given format, or a file laid out like a
 * source whose format record it was given, so that a full copy of the
 * source's audio reproduces the source byte for byte. */
#ifndef VMWAV_RIFFWRITE_H
#define VMWAV_RIFFWRITE_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "VmLib/unseen.h"
#include "vmwav/wavfmt.h"

/* Everything of a source file except its audio data. */
struct WavLayout {
    std::vector<uint8_t> record; /* the format record that was handed out */
    std::vector<uint8_t> header; /* every byte before the first audio byte */
    bool bHasFact = false;
    size_t offFact = 0;           /* of the fact sample count, inside header */
    std::vector<uint8_t> trailer; /* every byte after the data chunk's pad */
    uint8_t bPad = 0;
    bool bPadMissing = false; /* the odd data chunk ends the file without its pad */
    uint32_t cbData = 0;
    uint32_t dwFact = 0;
};

struct RiffWriter {
    UnseenFile file;
    std::vector<uint8_t> header;
    bool bHasFact = false;
    size_t offFact = 0;
    std::vector<uint8_t> trailer;
    uint8_t bPad = 0;
    WAVEFORMATEX wfx{};
    bool bKnown = false; /* info is valid */
    WavCodecInfo info;
    std::shared_ptr<const WavLayout> layout;
    uint64_t cbWritten = 0;
    bool bFailed = false;
};

/* Results of the writer; each failure also serves as the error position. */
enum RiffWriteError : int {
    RIFFWRITE_OK = 0,
    RIFFWRITE_ERR_ARGS = 1,   /* no writer, no open file or no data */
    RIFFWRITE_ERR_INCOMPLETE, /* the data would outgrow the RIFF size, or a write failed */
    RIFFWRITE_ERR_WRITE,      /* writing the header, the audio or the pad byte */
    RIFFWRITE_ERR_TRAILER,
    RIFFWRITE_ERR_RIFF_SIZE,
    RIFFWRITE_ERR_DATA_SIZE,
    RIFFWRITE_ERR_FACT,
    RIFFWRITE_ERR_CREATE = 10,  /* + the UnseenError of creating the file */
    RIFFWRITE_ERR_PUBLISH = 20, /* + the UnseenError of giving it its name */
};

/* Creates the file unseen (VmLib/unseen.h): it takes the name only when
 * RiffWriterClose completes it. pLayout is null for a plain new file.
 * Nothing is left on failure. */
int RiffWriterCreate(const char *pszPath, const WAVEFORMATEX *pwfx,
                     std::shared_ptr<const WavLayout> layout, RiffWriter *pWriter);
/* Appends audio data. */
int RiffWriterWrite(RiffWriter *pWriter, const void *pData, size_t cb);
/* Appends cb bytes of fdSource from offSource on as audio data, inside the
 * kernel where the file systems allow it. */
int RiffWriterCopyFrom(RiffWriter *pWriter, int fdSource, uint64_t offSource, size_t cb);
/* Completes the sizes, the fact count and the pad byte, gives the file its
 * name and closes it. A copy of all of a layout's audio leaves the pad out,
 * and keeps a RIFF size that counted it, where the source did. On failure
 * nothing is left and whatever had the name keeps it. */
int RiffWriterClose(RiffWriter *pWriter);
/* Closes the file and leaves nothing; RIFFWRITE_ERR_ARGS when it was not open. */
int RiffWriterDiscard(RiffWriter *pWriter);

#endif
