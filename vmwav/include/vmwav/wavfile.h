/* The record behind a WAV file handle, shared by the modules of the file
 * operations of vmwav.h: opening and closing (wavfile.cpp), format records
 * (wavformats.cpp), converted reads (wavplay.cpp) and raw data access
 * (wavraw.cpp). Internal to libsndprobe. */
#ifndef VMWAV_WAVFILE_H
#define VMWAV_WAVFILE_H

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "VmLib/handles.h"
#include "vmwav/codecapi.h"
#include "vmwav/riff.h"
#include "vmwav/riffwrite.h"
#include "vmwav/vmwav.h"
#include "vmwav/wavfmt.h"

#define WAV_UNIT L"wavfile"

struct VmWavFile {
    uint32_t dwVersion = WAV_VERSION;
    VMHINSTANCE hInstance = nullptr;
    VMHPROCESS hProcess = nullptr;
    uint32_t dwMode = 0;
    int fd = -1;
    std::string path;

    // Opened for reading.
    RiffInfo riff;
    std::vector<uint8_t> record; // the stored format record
    WavCodecInfo info;
    uint64_t nFrames = 0;
    std::shared_ptr<const WavLayout> layout;
    uint64_t offRaw = 0;
    WAVEFORMATEX play{};
    bool bConvert = false;
    uint64_t nPlayFrame = 0;
    const VmCodecApi *pCodec = nullptr;
    VmCodecStream *pStream = nullptr;
    std::vector<uint8_t> codecHeader;
    std::vector<uint8_t> scratch;
    void *pMap = nullptr; // WavMapData: the file from its start to the end of the data
    size_t cbMap = 0;

    // Created.
    RiffWriter writer;
};

inline bool WavIsRead(HWAVFILE h) {
    return HandleIsLive(h, HANDLE_KIND_WAVFILE) && h->dwMode == WAV_MODE_READ;
}

inline bool WavIsCreated(HWAVFILE h) {
    return HandleIsLive(h, HANDLE_KIND_WAVFILE) && h->dwMode == WAV_MODE_CREATE;
}

/* cb bytes at offset of the file whose descriptor pUser points to; 0 or -1. */
int WavReadAt(void *pUser, uint64_t offset, void *pBuffer, size_t cb);
/* cb bytes at offset into the audio data of the file pUser (a VmWavFile);
 * 0, or -1 beyond the data or for a failed read. */
int WavReadData(void *pUser, uint64_t offset, void *pBuffer, size_t cb);

#endif
