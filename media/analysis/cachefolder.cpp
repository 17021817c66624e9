#include "media/analysis/cachefolder.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QSaveFile>

#include <cstring>

namespace vk {

namespace {

constexpr int kHeaderSize = 8 + 4 + 8;
constexpr int kDigestSize = 20;

} // namespace

void SetCacheWhy(QString* why, const char* text)
{
    if (why)
        *why = QString::fromLatin1(text);
}

CacheFolder::CacheFolder(QString dir, const QString& defaultDir, QString suffix)
    : m_dir(dir.isEmpty() ? defaultDir : std::move(dir)), m_suffix(std::move(suffix))
{
}

QString CacheFolder::pathFor(const QByteArray& key) const
{
    return m_dir + QLatin1Char('/') + QString::fromLatin1(key) + m_suffix;
}

bool CacheFolder::storeBytes(const QByteArray& key, const QByteArray& bytes) const
{
    if (key.isEmpty() || !QDir().mkpath(m_dir))
        return false;
    return WriteCacheFile(pathFor(key), bytes);
}

QByteArray FrameCacheFile(const char (&magic)[8], quint32 version, const QByteArray& payload)
{
    QByteArray out;
    out.reserve(kHeaderSize + payload.size() + kDigestSize);
    out.append(magic, 8);
    {
        QDataStream h(&out, QIODevice::Append);
        h.setByteOrder(QDataStream::LittleEndian);
        h << version << quint64(payload.size());
    }
    out.append(payload);
    out.append(QCryptographicHash::hash(payload, QCryptographicHash::Sha1));
    return out;
}

std::optional<QByteArray> UnframeCacheFile(const QByteArray& bytes, const char (&magic)[8], quint32 version,
                                           QString* why)
{
    if (bytes.size() < kHeaderSize + kDigestSize || std::memcmp(bytes.constData(), magic, 8) != 0) {
        SetCacheWhy(why, "not a cache file");
        return std::nullopt;
    }
    quint32 stored = 0;
    quint64 length = 0;
    {
        QDataStream h(bytes.mid(8, 12));
        h.setByteOrder(QDataStream::LittleEndian);
        h >> stored >> length;
    }
    if (stored != version) {
        SetCacheWhy(why, "other format version");
        return std::nullopt;
    }
    if (length != quint64(bytes.size() - kHeaderSize - kDigestSize)) {
        SetCacheWhy(why, "wrong length");
        return std::nullopt;
    }
    QByteArray payload = bytes.mid(kHeaderSize, qsizetype(length));
    if (QCryptographicHash::hash(payload, QCryptographicHash::Sha1) != bytes.right(kDigestSize)) {
        SetCacheWhy(why, "checksum mismatch");
        return std::nullopt;
    }
    return payload;
}

bool WriteCacheFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || f.write(bytes) != bytes.size() || !f.commit()) {
        f.cancelWriting();
        return false;
    }
    return true;
}

} // namespace vk
