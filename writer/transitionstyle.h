#pragma once
// The video transitions of the timeline document, keyed by their
// DirectShow Editing Services CLSID, and the wipe patterns behind them.

#include <string>
#include <vector>

namespace vk {

enum class TransitionStyle {
    Fade,
    Barn,
    Blinds,
    Burn,
    Inset,
    Iris,
    Pixelate,
    RadialWipe,
    Slide,
    Spiral,
    Stretch,
    Wheel,
    Wipe,
    Zigzag
};

// Case-insensitive, braces optional; anything unknown is a fade.
TransitionStyle transitionStyleForClsid(const std::string& clsid);

const char* transitionStyleName(TransitionStyle style);

// Styles drawn by the engine's luma wipe with a generated map.
bool usesLumaMap(TransitionStyle style);

// File name of the generated map of a wipe style ("vk-iris.pgm").
std::string lumaMapFileName(TransitionStyle style);

// The map of a wipe style: one byte per pixel, row by row; a pixel turns to
// the new picture when the transition's progress passes its value / 255.
std::vector<unsigned char> lumaMap(TransitionStyle style, int width, int height);

// Writes the map as a binary PGM. Returns false when the file cannot be written.
bool writeLumaMap(TransitionStyle style, int width, int height, const std::string& path);

} // namespace vk
