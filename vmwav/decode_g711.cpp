#include "vmwav/decode_g711.h"

namespace {

int16_t AlawToLinear(uint8_t a) {
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else
        t = (t + 0x108) << (seg - 1);
    return int16_t((a & 0x80) ? t : -t);
}

int16_t MulawToLinear(uint8_t u) {
    u = uint8_t(~u);
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return int16_t((u & 0x80) ? 0x84 - t : t - 0x84);
}

struct Tables {
    int16_t alaw[256];
    int16_t mulaw[256];
    Tables() {
        for (int i = 0; i < 256; ++i) {
            alaw[i] = AlawToLinear(uint8_t(i));
            mulaw[i] = MulawToLinear(uint8_t(i));
        }
    }
};

const Tables &G711() {
    static const Tables t;
    return t;
}

} // namespace

const int16_t *G711AlawTable(void) {
    return G711().alaw;
}
const int16_t *G711MulawTable(void) {
    return G711().mulaw;
}
