// The adaptive row filter of the PNG writer for truecolour rows. It builds the
// Sub, Up, Average and Paeth candidates of a raw row and scores all five rows
// by how many bytes repeat their left neighbour with a value near 0 or 255
// (runs that deflate codes cheaply); ties go to the simpler filter.
#pragma once

#include <cstddef>
#include <cstdint>

namespace png {

// The five rows of one choice, each rowLength bytes with the filter type in
// byte 0. `raw` is the unfiltered row (it is also the None candidate, its
// byte 0 is set to 0); `previous` is the raw row above (zeros for the first).
struct FilterRows {
    uint8_t* raw;
    const uint8_t* previous;
    uint8_t* sub;
    uint8_t* up;
    uint8_t* average;
    uint8_t* paeth;
};

// Number of positions i in 1 .. rowLength - 1 where row[i] == row[i - 1] and
// row[i] is one of 0, 1, 2, 3, 252, 253, 254, 255.
uint32_t filterScore(const uint8_t* row, size_t rowLength);

// The choice among scores indexed by filter type: Sub or Up, Average or Paeth,
// then the better pair winner, then that winner or None; at every step the
// later candidate must score strictly more.
int pickFilter(const uint32_t scores[5]);

// Builds the four candidates and returns the chosen filter type (0 to 4).
int chooseFilter(const FilterRows& rows, size_t rowLength, int bytesPerPixel);

// The candidate row for a filter type.
inline const uint8_t* candidateFor(const FilterRows& rows, int filterType) {
    switch (filterType) {
        case 1:
            return rows.sub;
        case 2:
            return rows.up;
        case 3:
            return rows.average;
        case 4:
            return rows.paeth;
        default:
            return rows.raw;
    }
}

}  // namespace png
