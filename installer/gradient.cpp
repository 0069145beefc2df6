// The backdrop's gradient levels.
#include "installer/gradient.h"

int GradientBlueLevel(int y, int height) {
    if (height <= 0) return 0;
    // 64-bit product: tall client areas must not overflow.
    long long level = (static_cast<long long>(height) - y) * 256 / height;
    if (level > 255) return 255;
    if (level < 0) return 0;
    return static_cast<int>(level);
}
