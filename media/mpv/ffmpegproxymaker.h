#pragma once
// The viewing copies on FFmpeg's libraries: the original's pictures decoded, made at
// most 640x360 (never larger than the original, the aspect kept) and written as Motion
// JPEG, every frame on its own, at the original's frame times, with the original's sound
// copied as it is, in a QuickTime file. A frame of such a copy decodes in about a
// millisecond, where a frame of long-GOP H.264 needs every frame since its key frame.

#include "media/proxymaker.h"

namespace vk {

class FfmpegProxyMaker final : public ProxyMaker {
public:
    bool make(const QString& source, const QString& target, MediaInfo& original, const Progress& progress,
              QString& error) override;
};

} // namespace vk
