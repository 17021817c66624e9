#pragma once
// Window places and sizes are stored, and the layout rules are written, in twips
// (1/1440 inch); the screen counts 15 twips per pixel. Every window converts through
// these two functions, so a place written by one window reads back the same in any
// other.

namespace vk {

constexpr int kTwipsPerPixel = 15;

// Pixels to twips: exact.
int PixelsToTwips(int pixels);
// Twips to pixels: to the nearest pixel, halves away from zero (-2000 twips is -133
// pixels, 2000 twips 133).
int TwipsToPixels(int twips);

} // namespace vk
