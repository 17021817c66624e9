#pragma once
// The muxer entry point T-VideoWrite puts in front of libavformat's (see
// muxerguard.cpp).

namespace vk {

// The sound of an MP4 ends with the pictures, `seconds` after the start: the
// engine fills the sound encoder's last block with silence, and without this
// the file's sound would run up to one block (21 ms at 48 kHz) past the last
// picture. A value of 0 or less turns the limit off.
void limitMp4SoundEnd(double seconds);

} // namespace vk
