#pragma once
// Makes the viewing copy (proxy) of a video file: a small copy in which every frame is a
// key frame, with the frames at the original's times and the original's sound, so that
// any frame of it is decoded at once. The panel shows it in place of the original;
// positions, ranges, registrations and the output stay those of the original.
//
// make() runs on the proxy cache's worker thread, one file at a time.

#include "media/mediaplayerengine.h"

#include <QString>
#include <functional>

namespace vk {

class ProxyMaker {
public:
    virtual ~ProxyMaker() = default;

    // Called with the part done (0..1) as the copy is made; false stops the making.
    using Progress = std::function<bool(double fraction)>;

    // Writes the copy of `source` to `target` and gives the original's media facts in
    // `original`. False, with the reason in `error`, when it cannot be made (the file
    // cannot be read or decoded past some point, the copy cannot be written, or the
    // making was stopped); a partly written target is then the caller's to remove.
    virtual bool make(const QString& source, const QString& target, MediaInfo& original, const Progress& progress,
                      QString& error) = 0;
};

} // namespace vk
