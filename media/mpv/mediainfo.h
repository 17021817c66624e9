#pragma once
// Reads what the editor needs to know about a media file (length, picture size,
// frame interval) straight from the container, without starting a player.
//
// A still image has length 0: its container says so (the image demuxers), since its
// reported length (one frame of 40 ms for a JPEG) is not a playing time. A cover
// picture attached to a sound file is not a picture of the file: such a file is sound
// only, with no size and no frame interval.

#include "media/mediaplayerengine.h"

namespace vk {

// Fills out.durationMsec, width, height, secondsPerFrame and text (the container's
// name). Returns false, leaving out untouched, when the file cannot be read as media
// or its length does not fit in whole milliseconds of 32 bits.
bool ProbeMediaInfo(const QString& path, MediaInfo& out);

} // namespace vk
