// The backdrop gradient's blue level per row.
#include "installer/gradient.h"

#include <gtest/gtest.h>

TEST(Gradient, LevelsByRow) {
    // height, row, level: one row full blue; 256 - y below the top; no rows: no division; no
    // overflow on tall areas
    const int cases[][3] = {{1, 0, 255},   {256, 1, 255},        {256, 2, 254},
                            {256, 255, 1}, {1080, 1075, 1},      {1080, 1076, 0},
                            {0, 0, 0},     {2000000000, 0, 255}, {2000000000, 1999999999, 0}};
    for (const auto& c : cases) EXPECT_EQ(GradientBlueLevel(c[1], c[0]), c[2]) << "height " << c[0] << " row " << c[1];
}
