#pragma once
// The key of a file as it is on disk, for the caches kept per file (the sound and shot
// analyses, the viewing copies): a hex SHA-1 of its size, optionally its modification
// time, and its content, whole or, for a long file, in evenly spaced pieces.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace vk {

struct FileKeySampling {
    qint64 wholeUpTo = 0;          // a file up to this size is read whole
    int pieces = 2;                // a larger one: this many pieces, from its first byte to its last
    qint64 pieceSize = 0;          // bytes each
    bool modificationTime = false; // the key changes with the file's modification time too
};

// Empty when the file cannot be read.
QByteArray FileKey(const QString& path, const FileKeySampling& sampling);

} // namespace vk
