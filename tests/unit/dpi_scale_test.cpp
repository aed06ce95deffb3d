#include <gtest/gtest.h>

#include "ui/dpi_scale.h"

namespace {
constexpr Geometry kBar{55, 102, 350, 20};

void ExpectGeometry(Geometry g, int x, int y, int w, int h) {
    EXPECT_EQ(g.x, x);
    EXPECT_EQ(g.y, y);
    EXPECT_EQ(g.width, w);
    EXPECT_EQ(g.height, h);
}
} // namespace

TEST(DpiScale, NinetySixIsUnscaled) { ExpectGeometry(ScaleForDpi(kBar, 96), 55, 102, 350, 20); }

TEST(DpiScale, OneHundredTwenty) { ExpectGeometry(ScaleForDpi(kBar, 120), 68, 127, 437, 25); }

TEST(DpiScale, EightyTruncatesTheDoubleProduct) {
    // 102 * (float)(80/96) is just below 85 in double precision; a float product would round to 85.
    ExpectGeometry(ScaleForDpi(kBar, 80), 45, 84, 291, 16);
}

TEST(DpiScale, NoScreenKeepsTheLaidOutGeometry) {
    ExpectGeometry(ScaleForDpi(kBar, -1), 55, 102, 350, 20);
    ExpectGeometry(ScaleForDpi(kBar, 0), 55, 102, 350, 20);
}
