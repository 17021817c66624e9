#pragma once
// A folder of cache files, one per key ("<key><suffix>"), each a complete file of one
// format or none: what the sound analyses' cache (AnalysisCache) and the shot analyses'
// cache (ShotCache) have in common. A file that does not decode is removed when read, so
// it is written afresh; a file is replaced only by a complete new one.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>

namespace vk {

class CacheFolder {
public:
    QString dir() const { return m_dir; }
    QString pathFor(const QByteArray& key) const;

protected:
    // dir: the folder; empty means defaultDir.
    CacheFolder(QString dir, const QString& defaultDir, QString suffix);

    // The value stored for the key, decoded by decode(bytes) (an optional); nothing when
    // there is none or it does not decode, and then the file is removed.
    template <class Decode>
    auto loadWith(const QByteArray& key, Decode decode) const -> decltype(decode(QByteArray()))
    {
        if (key.isEmpty())
            return std::nullopt;
        QFile f(pathFor(key));
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QByteArray bytes = f.readAll();
        f.close();
        auto value = decode(bytes);
        if (!value)
            QFile::remove(f.fileName());
        return value;
    }
    // Stores the file of a key atomically; false when it could not be written whole.
    bool storeBytes(const QByteArray& key, const QByteArray& bytes) const;

private:
    QString m_dir;
    QString m_suffix;
};

// Replaces a cache file only with a complete new one; false, with the previous file
// kept, when it cannot be written whole. Unbuffered, so that a write that fails (a full
// disk) is seen before the commit: a failure inside the final flush of a buffered file
// would go unnoticed and leave a short file in the cache's place.
bool WriteCacheFile(const QString& path, const QByteArray& bytes);

// The frame every cache file has: an 8-byte magic, the format version (32 bits) and the
// payload's length (64 bits), both little-endian, the payload, and its SHA-1.
QByteArray FrameCacheFile(const char (&magic)[8], quint32 version, const QByteArray& payload);
// The payload of a framed file; nullopt, with the reason in why, when the magic, the
// version, the length or the checksum does not hold.
std::optional<QByteArray> UnframeCacheFile(const QByteArray& bytes, const char (&magic)[8], quint32 version,
                                           QString* why);
// Puts the reason a file was refused in why, when it is given.
void SetCacheWhy(QString* why, const char* text);

} // namespace vk
