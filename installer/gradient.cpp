// The backdrop's gradient levels.
#include "installer/gradient.h"

int GradientBlueLevel(int y, int height) {
    if (height <= 0 || y >= height) return 0;
    if (y <= 0) return 255;
    // 0 < rest < height: the eight bits of rest / height by long division, which stays in 32 bits
    // for any height (no 64-bit division helper in the installer).
    unsigned rest = static_cast<unsigned>(height - y);
    const unsigned divisor = static_cast<unsigned>(height);
    unsigned level = 0;
    for (int bit = 0; bit < 8; ++bit) {
        rest <<= 1;
        level <<= 1;
        if (rest >= divisor) {
            rest -= divisor;
            level |= 1;
        }
    }
    return static_cast<int>(level);
}
