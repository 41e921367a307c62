#pragma once

// Geometry of the windows is given in twips: 15 twips are one pixel at 96 dpi.
namespace Twips {
constexpr int perPixel = 15;
constexpr int toPixels(int twips) { return twips / perPixel; }
constexpr int fromPixels(int pixels) { return pixels * perPixel; }
}  // namespace Twips
