#pragma once
// Window geometry is drawn in twips: 1440 to a logical inch.

inline constexpr int kTwipsPerInch = 1440;

inline int TwipsToPixels(int twips, int logicalDpi) {
    return (twips * logicalDpi + kTwipsPerInch / 2) / kTwipsPerInch;
}
