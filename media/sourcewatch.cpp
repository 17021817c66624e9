#include "media/sourcewatch.h"

#include <QFileInfo>

namespace vk {

void SourceWatch::watch(const QString& path)
{
    const QFileInfo info(path);
    // Only a file on disk is watched (a player may play what is not one).
    if (!info.isFile()) {
        clear();
        return;
    }
    m_path = info.absoluteFilePath();
    m_size = info.size();
    m_modified = info.lastModified();
}

void SourceWatch::clear()
{
    m_path.clear();
    m_size = -1;
    m_modified = QDateTime();
}

bool SourceWatch::holdsUnchanged(const QString& path) const
{
    if (m_path.isEmpty())
        return false;
    const QFileInfo now(path);
    return now.absoluteFilePath() == m_path && now.isFile() && now.size() == m_size && now.lastModified() == m_modified;
}

QString SourceWatch::check()
{
    if (m_path.isEmpty())
        return QString();
    // A fresh look at the file every time (QFileInfo would keep what it read first).
    const QFileInfo info(m_path);
    QString what;
    if (!info.exists())
        what = QStringLiteral("再生中にファイルが削除されました。");
    else if (info.size() < m_size)
        what = QStringLiteral("再生中にファイルが短くなりました。最後まで再生できません。");
    if (what.isEmpty())
        return QString();
    const QString text = m_path + QLatin1Char('\n') + what;
    clear();
    return text;
}

} // namespace vk
