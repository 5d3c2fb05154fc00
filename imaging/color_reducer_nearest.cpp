#include "imaging/color_reducer_nearest.h"

#include <algorithm>

#include "imaging/color_reducer_colors.h"

namespace reducer {

NearestColorSearch::NearestColorSearch(const RgbQuad* palette, const int32_t* squares)
    : squares_(squares) {
    for (int i = 0; i < 256; ++i)
        entries_[i] = {palette[i].green, palette[i].blue, palette[i].red, i};
    std::sort(entries_, entries_ + 256, [](const Entry& a, const Entry& b) {
        return a.green != b.green ? a.green < b.green : a.index < b.index;
    });
    int position = 0;
    for (int green = 0; green <= 256; ++green) {
        while (position < 256 && entries_[position].green < green) ++position;
        firstWithGreenAtLeast_[green] = static_cast<uint16_t>(position);
    }
}

uint8_t NearestColorSearch::find(uint32_t key) const {
    const int32_t blue = static_cast<int32_t>(blueOf(key));
    const int32_t green = static_cast<int32_t>(greenOf(key));
    const int32_t red = static_cast<int32_t>(redOf(key));
    // Larger than any distance (3 * 255 * 255), so the first entry is taken.
    int32_t best = 195076;
    int32_t bestIndex = 256;
    auto consider = [&](const Entry& e) {
        int32_t distance =
            squares_[blue - e.blue] + squares_[green - e.green] + squares_[red - e.red];
        if (distance < best || (distance == best && e.index < bestIndex)) {
            best = distance;
            bestIndex = e.index;
        }
    };
    // Walk outwards from the entries nearest in green. Once the green term
    // alone exceeds the best distance, no entry further out can reach it, not
    // even as a tie.
    const int start = firstWithGreenAtLeast_[green];
    for (int i = start; i < 256; ++i) {
        if (squares_[entries_[i].green - green] > best) break;
        consider(entries_[i]);
    }
    for (int i = start - 1; i >= 0; --i) {
        if (squares_[green - entries_[i].green] > best) break;
        consider(entries_[i]);
    }
    return static_cast<uint8_t>(bestIndex);
}

}  // namespace reducer
