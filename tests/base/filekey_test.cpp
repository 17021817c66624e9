// The key of a file for the caches: what it reads of the file, and when it changes.

#include "base/filekey.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vk {
namespace {

constexpr qint64 kMiB = 1024 * 1024;

QByteArray patterned(qint64 size, int seed)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        out[i] = char((i * 131 + seed * 7 + i / 4093) & 0xff);
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray sha1Hex(const QList<QByteArray>& parts)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QByteArray& p : parts)
        hash.addData(p);
    return hash.result().toHex();
}

TEST(FileKey, ReadsAShortFileWholeAndALongOneInPieces)
{
    QTemporaryDir dir;
    const QString shortFile = dir.filePath(QStringLiteral("short.bin"));
    const QString longFile = dir.filePath(QStringLiteral("long.bin"));
    const QByteArray small = patterned(kMiB + 4321, 1);
    const QByteArray large = patterned(5 * kMiB + 17, 2);
    ASSERT_TRUE(writeFile(shortFile, small));
    ASSERT_TRUE(writeFile(longFile, large));
    const FileKeySampling firstAndLast{2 * kMiB, 2, kMiB, false};

    // The size, then the content: whole, or the first and the last MiB.
    EXPECT_EQ(FileKey(shortFile, firstAndLast), sha1Hex({QByteArray::number(small.size()), small}));
    EXPECT_EQ(FileKey(longFile, firstAndLast),
              sha1Hex({QByteArray::number(large.size()), large.left(kMiB), large.right(kMiB)}));
    // Four pieces, evenly spaced from the first byte to the last.
    const qint64 step = (large.size() - kMiB) / 3;
    EXPECT_EQ(FileKey(longFile, {2 * kMiB, 4, kMiB, false}),
              sha1Hex({QByteArray::number(large.size()), large.mid(0, kMiB), large.mid(step, kMiB),
                       large.mid(2 * step, kMiB), large.right(kMiB)}));

    // A byte between the pieces does not change the key; one inside a piece does.
    QByteArray between = large;
    between[3 * kMiB] = char(between[3 * kMiB] ^ 0x5a);
    ASSERT_TRUE(writeFile(longFile, between));
    const QByteArray before = FileKey(longFile, firstAndLast);
    EXPECT_EQ(before, sha1Hex({QByteArray::number(large.size()), large.left(kMiB), large.right(kMiB)}));
    between[10] = char(between[10] ^ 0x5a);
    ASSERT_TRUE(writeFile(longFile, between));
    EXPECT_NE(FileKey(longFile, firstAndLast), before);

    EXPECT_TRUE(FileKey(dir.filePath(QStringLiteral("missing.bin")), firstAndLast).isEmpty());
}

TEST(FileKey, TheModificationTimeCountsOnlyWhenAsked)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.bin"));
    const QByteArray bytes = patterned(3000, 3);
    ASSERT_TRUE(writeFile(path, bytes));
    const FileKeySampling plain{2 * kMiB, 2, kMiB, false};
    const FileKeySampling timed{2 * kMiB, 2, kMiB, true};
    const QByteArray plainKey = FileKey(path, plain);
    const QByteArray timedKey = FileKey(path, timed);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::fromMSecsSinceEpoch(1700000000123), QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(FileKey(path, plain), plainKey);
    EXPECT_NE(FileKey(path, timed), timedKey);
    EXPECT_EQ(FileKey(path, timed),
              sha1Hex({QByteArray::number(bytes.size()), QByteArray::number(qint64(1700000000123)), bytes}));
}

} // namespace
} // namespace vk
