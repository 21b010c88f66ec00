#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "viewer/viewer_geometry.h"

namespace {

struct FitCase {
    int width, height, clientWidth, clientHeight;
    int drawnWidth, drawnHeight;
};

const FitCase kFitCases[] = {
    {800, 600, 400, 400, 400, 300},   // wide: cut to the width
    {300, 900, 400, 400, 133, 400},   // tall: 300 x 0.444.. truncates to 133
    {200, 100, 400, 400, 200, 100},   // smaller: its own size
    {400, 400, 400, 400, 400, 400},   // exactly fitting
    {1000, 1000, 400, 200, 200, 200}, // width first, then the height
    {401, 10, 400, 400, 400, 9},      // truncation, not rounding (9.975 -> 9)
    {100, 300, 50, 400, 50, 150},
    {640, 480, 0, 0, 0, 0},           // a client area with no size draws nothing
    {0, 0, 400, 400, 0, 0},
};

TEST(ViewerGeometry, PicturesAreScaledDownToFitAndNeverEnlarged) {
    for (const FitCase& c : kFitCases) {
        PictureSize s = FitPicture(c.width, c.height, c.clientWidth, c.clientHeight);
        EXPECT_EQ(s.width, c.drawnWidth) << c.width << "x" << c.height << " in " << c.clientWidth
                                         << "x" << c.clientHeight;
        EXPECT_EQ(s.height, c.drawnHeight) << c.width << "x" << c.height << " in "
                                           << c.clientWidth << "x" << c.clientHeight;
    }
}

TEST(ViewerGeometry, ScaledPicturesStayInsideTheClientArea) {
    for (int w = 1; w < 1200; w += 37)
        for (int h = 1; h < 1200; h += 41) {
            PictureSize s = FitPicture(w, h, 333, 250);
            ASSERT_LE(s.width, 333);
            ASSERT_LE(s.height, 250);
            ASSERT_LE(s.width, w);
            ASSERT_LE(s.height, h);
        }
}

char* Buffer(const char* text) {
    size_t n = strlen(text) + 1;
    char* p = (char*)malloc(n);
    memcpy(p, text, n);
    return p;
}

TEST(ViewerGeometry, ANewerImageDisplacesTheOneNotYetTaken) {
    ImageSlot slot = {};
    char* first = Buffer("first");
    char* second = Buffer("second");
    EXPECT_EQ(OfferImage(slot, first, 6), nullptr);
    char* displaced = OfferImage(slot, second, 7);
    EXPECT_EQ(displaced, first);  // handed back to be freed, once
    free(displaced);
    int32_t length = -1;
    char* taken = TakeImage(slot, &length);
    EXPECT_EQ(taken, second);
    EXPECT_EQ(length, 7);
    free(taken);
    // The slot is empty afterwards: nothing is taken (or freed) twice.
    EXPECT_EQ(TakeImage(slot, &length), nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(slot.data, nullptr);
}

TEST(ViewerGeometry, ANullOfferEmptiesTheSlot) {
    ImageSlot slot = {};
    char* image = Buffer("image");
    OfferImage(slot, image, 6);
    char* back = OfferImage(slot, nullptr, 99);
    EXPECT_EQ(back, image);
    free(back);
    EXPECT_EQ(slot.length, 0);
    EXPECT_EQ(TakeImage(slot, nullptr), nullptr);
}

}  // namespace
