#include "project/autosave.h"

#include "base/settingsstore.h"
#include "base/userdialogs.h"
#include "project/projectfile.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <algorithm>

namespace vk {

namespace {

const QString kDocumentSuffix = QStringLiteral(".rem");
const QString kInfoSuffix = QStringLiteral(".info");
const QString kLockSuffix = QStringLiteral(".lock");

bool writeAtomically(const QString& path, const QByteArray& bytes, QString& reason)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() ||
        !file.flush() || !file.commit()) {
        reason = file.errorString();
        // Qt reports a full disk (ENOSPC) as a resource error.
        if (file.error() == QFileDevice::ResourceError)
            reason = QStringLiteral("ディスクの空き容量が足りません。") + QStringLiteral("\r\n") + reason;
        file.cancelWriting();
        return false;
    }
    return true;
}

// A lock that only a dead process leaves stale, however long the editor has been running.
std::unique_ptr<QLockFile> makeLock(const QString& path)
{
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    return lock;
}

QString timeText(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

} // namespace

Autosave::Autosave(Editor& editor, ProjectFile& project, SettingsStore& settings, const QString& folder, Clock clock,
                   QObject* parent)
    : QObject(parent), m_editor(editor), m_project(project), m_folder(QDir::cleanPath(folder)),
      m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); }))
{
    QDir().mkpath(m_folder);

    int seconds = defaultIntervalSec;
    QString text;
    if (settings.RegValueRead(intervalSetting(), text)) {
        bool ok = false;
        const int value = SettingsStore::RegValueClean(text).toInt(&ok);
        if (ok && value > 0)
            seconds = value;
    }
    m_timer.setInterval(seconds * 1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { writeNow(); });
    connect(&m_editor, &Editor::modifiedChanged, this, [this](bool modified) { onModifiedChanged(modified); });
    if (m_editor.modified()) {
        m_timer.start();
        claim();
    }
    m_project.setOpenElsewhereCheck([this](const QString& path) { return heldElsewhere(path); });
}

Autosave::~Autosave()
{
    m_project.setOpenElsewhereCheck({});
    // A normal end of the program: nothing is left to recover.
    discard();
}

void Autosave::onModifiedChanged(bool modified)
{
    if (modified) {
        if (!m_timer.isActive())
            m_timer.start();
        // Other editors learn from the lock that the project has unsaved changes here.
        claim();
    } else {
        // Saved, or the changes were given up: the autosave has nothing more to offer.
        m_timer.stop();
        discard();
    }
}

QString Autosave::baseNameFor(const QString& projectPath) const
{
    if (projectPath.isEmpty())
        return QStringLiteral("untitled-%1").arg(QCoreApplication::applicationPid());
    const QFileInfo info(projectPath);
    const QByteArray hash =
        QCryptographicHash::hash(QDir::cleanPath(info.absoluteFilePath()).toUtf8(), QCryptographicHash::Sha1);
    return info.completeBaseName() + QLatin1Char('-') + QString::fromLatin1(hash.toHex().left(12));
}

bool Autosave::claim()
{
    QString base = baseNameFor(m_editor.projectPath());
    if (base == m_currentBase || m_currentBase.startsWith(base + QLatin1Char('-')))
        return true;
    // Another project than the one held before: its autosave goes.
    discard();
    // The same project open in another running editor keeps that editor's autosave.
    if (!takeLock(base)) {
        base += QStringLiteral("-%1").arg(QCoreApplication::applicationPid());
        if (!takeLock(base))
            return false;
    }
    m_currentBase = base;
    m_current = m_folder + QLatin1Char('/') + base + kDocumentSuffix;
    return true;
}

bool Autosave::heldElsewhere(const QString& projectPath) const
{
    if (projectPath.isEmpty())
        return false;
    const QString base = baseNameFor(projectPath);
    // This editor's own lock: the project is modified here, not elsewhere.
    if (base == m_currentBase)
        return false;
    auto lock = makeLock(m_folder + QLatin1Char('/') + base + kLockSuffix);
    if (lock->tryLock(0)) {
        lock->unlock();
        return false;
    }
    return lock->error() == QLockFile::LockFailedError;
}

bool Autosave::takeLock(const QString& base)
{
    auto lock = makeLock(m_folder + QLatin1Char('/') + base + kLockSuffix);
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    return true;
}

bool Autosave::writeNow()
{
    if (!m_editor.modified())
        return false;
    QByteArray bytes;
    QString reason;
    // The same document a save writes, the beat grid's corrections included.
    if (!m_project.buildCurrentDocument(bytes, reason))
        return false;
    if (!claim())
        return false;
    if (!write(m_current, bytes))
        return false;
    QJsonObject info;
    info.insert(QStringLiteral("project"), m_editor.projectPath());
    info.insert(QStringLiteral("saved"), m_clock().toString(Qt::ISODateWithMs));
    if (!write(m_folder + QLatin1Char('/') + m_currentBase + kInfoSuffix,
               QJsonDocument(info).toJson(QJsonDocument::Compact)))
        return false;
    m_failureReported = false;
    if (m_failureShown) {
        m_failureShown = false;
        m_editor.setMsg(QStringLiteral("自動保存しました"));
    }
    return true;
}

bool Autosave::write(const QString& path, const QByteArray& bytes)
{
    QString reason;
    if (writeAtomically(path, bytes, reason))
        return true;
    // The last autosave stays as it was. The status line says so at every tick; a box
    // tells it once, and again only after a write has succeeded in between. A box comes
    // up from the timer, whatever the user is doing: never while the song or a video
    // plays, where it would swallow the taps.
    QString brief = reason;
    brief.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    m_failureShown = true;
    m_editor.setMsg(QStringLiteral("自動保存できませんでした: ") + brief);
    if (!m_failureReported && !(m_playing && m_playing())) {
        m_failureReported = true;
        m_editor.ui().message(QStringLiteral("自動保存できませんでした。\r\n") + path + QStringLiteral("\r\n") + reason,
                              UserDialogs::Icon::Warning);
    }
    return false;
}

void Autosave::removeFiles(const QString& base)
{
    const QString stem = m_folder + QLatin1Char('/') + base;
    QFile::remove(stem + kDocumentSuffix);
    QFile::remove(stem + kInfoSuffix);
}

void Autosave::discard()
{
    if (m_currentBase.isEmpty())
        return;
    removeFiles(m_currentBase);
    m_lock.reset(); // unlocks and removes the lock file
    m_current.clear();
    m_currentBase.clear();
}

std::vector<Autosave::Leftover> Autosave::leftovers() const
{
    std::vector<Leftover> found;
    const QDir dir(m_folder);
    const QStringList infos = dir.entryList({QStringLiteral("*") + kInfoSuffix}, QDir::Files);
    for (const QString& name : infos) {
        const QString base = name.left(name.size() - kInfoSuffix.size());
        if (base == m_currentBase)
            continue;
        // A lock held by a running editor: that editor's work in progress.
        auto lock = makeLock(dir.filePath(base + kLockSuffix));
        if (!lock->tryLock(0))
            continue;
        lock->unlock();

        Leftover item;
        item.file = dir.filePath(base + kDocumentSuffix);
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            const QJsonObject info = QJsonDocument::fromJson(file.readAll()).object();
            item.projectPath = info.value(QStringLiteral("project")).toString();
            item.savedAt = QDateTime::fromString(info.value(QStringLiteral("saved")).toString(), Qt::ISODateWithMs);
        }
        if (!item.savedAt.isValid())
            item.savedAt = QFileInfo(item.file).lastModified();
        found.push_back(item);
    }
    std::sort(found.begin(), found.end(), [](const Leftover& a, const Leftover& b) { return a.savedAt > b.savedAt; });
    return found;
}

QString Autosave::projectName(const QString& projectPath)
{
    return projectPath.isEmpty() ? QStringLiteral("(無題)") : QFileInfo(projectPath).fileName();
}

void Autosave::keepAside(const Leftover& leftover)
{
    const QFileInfo info(leftover.file);
    const QString base = info.completeBaseName();
    const QString stem = m_folder + QLatin1Char('/') + base;
    if (info.exists()) {
        const QString aside = stem + QStringLiteral(".damaged-") +
                              m_clock().toString(QStringLiteral("yyyyMMdd-HHmmss")) + kDocumentSuffix;
        QFile::remove(aside);
        QFile::rename(leftover.file, aside);
    }
    QFile::remove(stem + kInfoSuffix);
}

bool Autosave::offerRecovery()
{
    UserDialogs& ui = m_editor.ui();
    for (const Leftover& leftover : leftovers()) {
        const QString name = projectName(leftover.projectPath);
        ProjectFile::Document doc;
        QString reason;
        if (!ProjectFile::ReadDocument(leftover.file, doc, reason)) {
            keepAside(leftover);
            ui.message(QStringLiteral("プロジェクト「") + name +
                           QStringLiteral("」の自動保存ファイルが壊れているため、復元できません。\r\n") + reason +
                           QStringLiteral("\r\n\r\nファイルは別名で残してあります。\r\n") + m_folder,
                       UserDialogs::Icon::Warning);
            continue;
        }
        const QString text = QStringLiteral("前回、正常に終了しなかったときの自動保存が残っています。\r\n\r\n") +
                             QStringLiteral("プロジェクト: ") + name + QStringLiteral("\r\n") +
                             QStringLiteral("自動保存の時刻: ") + timeText(leftover.savedAt) +
                             QStringLiteral("\r\n\r\n復元しますか？");
        const QString base = QFileInfo(leftover.file).completeBaseName();
        if (!ui.askYesNo(text, UserDialogs::Icon::Exclamation)) {
            removeFiles(base);
            continue;
        }
        if (!m_project.ProjectLoad(leftover.file)) {
            keepAside(leftover);
            continue;
        }
        m_editor.setProjectPath(leftover.projectPath);
        m_editor.setModified(true);
        m_editor.history().markUnsaved();
        // From here on the restored project is this run's own work in progress.
        removeFiles(base);
        writeNow();
        return true;
    }
    return false;
}

} // namespace vk
