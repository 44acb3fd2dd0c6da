// The share of pixels beyond the budget's levels between two pictures.
#include "bench/picture_budget.h"

#include <algorithm>
#include <cstdlib>

PictureDifference comparePictures(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    size_t n = std::min(a.size(), b.size());
    size_t different = 0;
    int worst = 0;
    for (size_t i = 0; i + 3 < n; i += 4) {
        int d = 0;
        for (int k = 0; k < 3; ++k)
            d = std::max(d, std::abs(static_cast<int>(a[i + k]) - static_cast<int>(b[i + k])));
        worst = std::max(worst, d);
        different += d > DIFFERENT_LEVELS ? 1 : 0;
    }
    return {n == 0 ? 0. : static_cast<double>(different) / static_cast<double>(n / 4), worst};
}
