// How far a 640 × 480 frame is from its reference picture, in measures a
// person would notice.
#ifndef TESTS_FRAME_DIFFERENCE_H
#define TESTS_FRAME_DIFFERENCE_H

#include "picture_file.h"

// Mesa's rasteriser may move a few pixels by a level or two between
// versions. What a person would see is caught by three measures: a colour
// shift over the whole frame, pixels off by more than 8 levels (a
// one-texel seam 12% darker makes 0.4% of them), and a region gone wrong.
struct Difference {
    double shift;          // the largest mean signed difference of a channel
    double visible_share;  // share of pixels with a channel off by more than 8
    double worst_block;    // the largest mean difference of a 32 × 32 block

    bool looks_the_same() const { return shift <= 0.75 && visible_share <= 0.001 && worst_block <= 8; }
};

// Compares two frames; `picture` receives the differences in red on a
// dimmed copy of `a`.
Difference compare(const RgbImage& a, const RgbImage& b, RgbImage& picture);

#endif
