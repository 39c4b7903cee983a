// Fixtures written by an independent WAV implementation.
#ifndef TESTS_VMWAV_SNDFIXTURE_H
#define TESTS_VMWAV_SNDFIXTURE_H

#include <sndfile.h>

#include <string>
#include <vector>

inline bool WriteSndfile(const std::string &path, int format, int rate, int channels,
                         const std::vector<int16_t> &interleaved) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr)
        return false;
    const sf_count_t frames = sf_count_t(interleaved.size() / channels);
    bool ok;
    const int sub = format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {
        // Float files hold full scale as 1.0.
        std::vector<double> d(interleaved.begin(), interleaved.end());
        for (double &v : d)
            v /= 32768.0;
        ok = sf_writef_double(f, d.data(), frames) == frames;
    } else {
        ok = sf_writef_short(f, interleaved.data(), frames) == frames;
    }
    return sf_close(f) == 0 && ok;
}

// The file as the same implementation reads it back, interleaved.
inline std::vector<int16_t> ReadSndfile(const std::string &path, int *pChannels) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<int16_t> s;
    if (f == nullptr)
        return s;
    s.resize(size_t(info.frames * info.channels));
    s.resize(size_t(sf_readf_short(f, s.data(), info.frames) * info.channels));
    *pChannels = info.channels;
    sf_close(f);
    return s;
}

#endif
