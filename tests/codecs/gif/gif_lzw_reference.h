// A plain GIF LZW encoder written the long way, as the straightforward
// version the fast encoder must match byte for byte: a 4096-entry string
// table, a 511-bucket hash on the last two bytes of a string with a packed
// (length, byte before last, last byte) key, and a full string comparison
// along the prefix chain.
#pragma once

#include <cstdint>
#include <vector>

namespace giftest {

// Codes for minimum code size 8, including the clear code at the start, the
// end code and the flush byte, packed least-significant bit first.
std::vector<uint8_t> referenceLzwEncode(const std::vector<uint8_t>& input);

}  // namespace giftest
