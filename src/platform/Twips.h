#pragma once
// The forms' geometry is designed in twips, 1,440 to the inch: 15 to a pixel
// at 96 dots per inch. Each form converts with the rounding its layout was
// drawn for.

namespace platform {

constexpr int kTwipsPerPixel = 15;

}  // namespace platform
