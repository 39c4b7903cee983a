#include "sndkit/codectable.h"

static CodecDriverEntry g_drivers[CODEC_DRIVER_COUNT] = {
    {L"msg711.acm", 1, 37, nullptr},     {L"msgsm32.acm", 1, 36, nullptr},
    {L"vmvox.acm", 225, 1, nullptr},     {L"g726.acm", 307, 123, nullptr},
    {L"l3codeca.acm", 172, 12, nullptr}, {L"l3codecp.acm", 172, 13, nullptr},
    {L"sl_g729a.acm", 211, 2, nullptr},  {L"sl_g723.acm", 211, 3, nullptr},
    {L"msaud32.acm", 1, 39, nullptr},    {L"emg726.dll", 1, 1, nullptr},
};

static const wchar_t *const g_formatNames[FORMAT_OPTION_COUNT] = {
    L"pcm",   L"mulaw", L"ulaw", L"alaw", L"vox", L"gsm", L"g729a",
    L"g7231", L"g721",  L"g726", L"raw",  L"mp3", L"wma",
};

CodecDriverEntry *CodecDriverTable(void) {
    return g_drivers;
}

const wchar_t *const *FormatOptionNames(void) {
    return g_formatNames;
}
