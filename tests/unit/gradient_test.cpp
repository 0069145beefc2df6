// The backdrop gradient's blue level per row.
#include <gtest/gtest.h>

#include "installer/gradient.h"

namespace {

struct Case {
    int height;
    int y;
    int expected;
};

TEST(Gradient, LevelsByRow) {
    const Case cases[] = {
        {1, 0, 255},                                            // one row: full blue
        {256, 0, 255}, {256, 1, 255}, {256, 2, 254},            // 256 - y below the top row
        {256, 128, 128}, {256, 255, 1},
        {1080, 0, 255}, {1080, 1, 255}, {1080, 4, 255}, {1080, 5, 254},
        {1080, 540, 128}, {1080, 1075, 1}, {1080, 1076, 0}, {1080, 1079, 0},
        {2, 0, 255}, {2, 1, 128},
        {0, 0, 0},                                              // no rows: no division
        {-5, 0, 0},
        {2000000000, 0, 255}, {2000000000, 1999999999, 0},      // no overflow on tall areas
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "height " << c.height << " row " << c.y);
        EXPECT_EQ(GradientBlueLevel(c.y, c.height), c.expected);
    }
}

}  // namespace
