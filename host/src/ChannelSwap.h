// Swaps the first and third byte of every pixel of a row, in place: blue-green-red rows
// become red-green-blue and back.
#pragma once
#include <cstdint>

namespace host {

void SwapRedBlue24(uint8_t* row, uint32_t width);  // 3 bytes a pixel
void SwapRedBlue32(uint8_t* row, uint32_t width);  // 4 bytes a pixel, the fourth kept

}  // namespace host
