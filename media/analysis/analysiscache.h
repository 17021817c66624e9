#pragma once
// A cache of finished analyses, one file per sound, named by a hash of the sound file's
// content (so a renamed or moved file still hits, and an edited one misses). A project
// then opens with its beats and waveform at once instead of after a new analysis.
//
// File format: the 8-byte magic "VKBEATS\0", the format version (32-bit little endian),
// the payload's length (64-bit little endian), the payload (a Qt 6.0 QDataStream of the
// file's key, the analysis and the level-0 waveform peaks) and the SHA-1 of the payload. A file with another magic or version, a wrong length, a wrong checksum or
// a payload that does not read back completely is rejected (and counts as a miss), so a
// damaged or outdated file never reaches the editor. The version also goes up whenever
// the analysis itself changes its results.

#include "media/analysis/beatanalysis.h"
#include "media/analysis/cachefolder.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vk {

class AnalysisCache : public CacheFolder {
public:
    static constexpr quint32 kFormatVersion = 2;

    // dir: the folder for the cache files; empty means defaultDir().
    explicit AnalysisCache(QString dir = QString());

    // "beats" under the user's cache folder (QStandardPaths::CacheLocation, which follows
    // XDG_CACHE_HOME).
    static QString defaultDir();

    // The cache key of a file: a hex SHA-1 of its size and content. Files over 64 MB are
    // hashed from their size and 32 evenly spaced 1 MB pieces, to stay fast on long
    // videos. Empty when the file cannot be read.
    static QByteArray contentKey(const QString& path);

    // The stored analysis for the key, or nothing when there is none or it is damaged.
    // A damaged file is removed so it is written afresh.
    std::optional<AudioAnalysis> load(const QByteArray& key) const;
    // Stores an analysis atomically (a half-written file is never visible). Cancelled
    // analyses and sounds that could not be decoded are not stored. Returns whether a
    // file was written.
    bool store(const QByteArray& key, const AudioAnalysis& analysis) const;

    // The beat grid's corrections by hand for the file with this key, kept beside its
    // analysis (the text of GridCorrections; "<key>.vkgrid": the key on the first line,
    // then the corrections). Empty when there are none. Storing empty corrections
    // removes them. A changed sound file has another key, so its old corrections are
    // never found for it.
    QByteArray loadCorrections(const QByteArray& key) const;
    bool storeCorrections(const QByteArray& key, const QByteArray& corrections) const;
    QString correctionsPathFor(const QByteArray& key) const;

    // The file format on its own, for the cache and its tests. decode() returns nothing
    // for anything but a complete, intact file of this version; `why` gets the reason.
    static QByteArray encode(const QByteArray& key, const AudioAnalysis& analysis);
    static std::optional<AudioAnalysis> decode(const QByteArray& bytes, const QByteArray& key, QString* why = nullptr);
};

} // namespace vk
