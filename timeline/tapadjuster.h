#pragma once
// What a tap goes through before it becomes a section start: the beat assist subtracts
// the user's measured tap latency and may move the tap onto a nearby beat or onset.
// Sections::SndRegister hands every tapped player position to the adjuster set on it
// (none by default: the tap is used as read), then adds the section as before.

namespace vk {

class TapAdjuster {
public:
    virtual ~TapAdjuster() = default;

    // The section start for a tap read at `playerMs`. A result of 0 or less adds no
    // section (like a tap before the player has moved).
    virtual double adjustTap(double playerMs) = 0;
};

} // namespace vk
