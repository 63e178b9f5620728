// Reading the little-endian fields of a header in a test: U32At(p, 54) is
// the data length of a 58-byte header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Tessel::testing {

inline uint32_t U32At(const uint8_t* p, size_t offset) {
    return p[offset] | p[offset + 1] << 8 | p[offset + 2] << 16 | uint32_t(p[offset + 3]) << 24;
}
inline uint16_t U16At(const uint8_t* p, size_t offset) { return uint16_t(p[offset] | p[offset + 1] << 8); }

}  // namespace Tessel::testing
