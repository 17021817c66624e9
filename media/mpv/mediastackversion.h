#pragma once
// Checks at start-up that the media stack can play: the player library can be
// created and started, and the container library is usable.

namespace vk {

// The media stack's version in the form 0xMMmm: 0x800 or more when playback can work
// (0x900 here), 0 when it cannot.
int DirectXProbe();

} // namespace vk
