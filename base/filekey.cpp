#include "base/filekey.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>

#include <algorithm>

namespace vk {

QByteArray FileKey(const QString& path, const FileKeySampling& sampling)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const qint64 size = f.size();
    hash.addData(QByteArray::number(size));
    if (sampling.modificationTime)
        hash.addData(QByteArray::number(f.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch()));
    if (size <= sampling.wholeUpTo) {
        if (!hash.addData(&f))
            return {};
        return hash.result().toHex();
    }
    const int pieces = std::max(2, sampling.pieces);
    for (int i = 0; i < pieces; ++i) {
        const qint64 at = (size - sampling.pieceSize) * i / (pieces - 1);
        if (!f.seek(at))
            return {};
        const QByteArray piece = f.read(sampling.pieceSize);
        if (piece.size() != sampling.pieceSize)
            return {};
        hash.addData(piece);
    }
    return hash.result().toHex();
}

} // namespace vk
