#include "frame_difference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

Difference compare(const RgbImage& a, const RgbImage& b, RgbImage& picture)
{
    picture = a;
    std::vector<double> blocks(20 * 15, 0);
    double signed_total[3] = {0, 0, 0};
    size_t visible = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            size_t i = 3 * (y * 640 + x);
            int worst = 0, sum = 0;
            for (int c = 0; c < 3; c++) {
                signed_total[c] += a.rgb[i + c] - b.rgb[i + c];
                int d = std::abs(a.rgb[i + c] - b.rgb[i + c]);
                worst = std::max(worst, d);
                sum += d;
            }
            blocks[(y / 32) * 20 + x / 32] += sum / 3.0 / (32 * 32);
            visible += worst > 8;
            picture.rgb[i] = (unsigned char)std::min(255, a.rgb[i] / 4 + worst * 4);
            picture.rgb[i + 1] = picture.rgb[i + 2] = (unsigned char)(a.rgb[i + 1] / 4);
        }
    double shift = 0;
    for (double channel : signed_total)
        shift = std::max(shift, std::fabs(channel) / (640 * 480));
    return {shift, visible / (640.0 * 480),
            *std::max_element(blocks.begin(), blocks.end())};
}
