#include "render/outputdriver.h"

#include "base/numbers.h"
#include "base/paths.h"
#include "render/timelinedocument.h"
#include "render/writerparams.h"
#include "timeline/editor.h"
#include "timeline/soundtransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

namespace vk {

double TimeFactor(const PlaybackRateSource* rate, const Editor& editor)
{
    QString rateText = QStringLiteral("1.0");
    if (rate)
        rateText = rate->playbackRateText();
    else if (editor.soundPanel())
        rateText = editor.soundPanel()->rateText();
    const double value = ParseNumber(rateText);
    return value == 0 ? 1.0 : 1.0 / value;
}

std::optional<QString> DraggedRangeBeyondTable(const Editor& editor)
{
    const int lastRow = editor.lastRow();
    if (editor.dragFirst() <= lastRow && editor.dragLast() <= lastRow)
        return std::nullopt;
    return QStringLiteral("ﾄﾞﾗｯｸﾞ選択範囲が行の範囲を超えています（%1～%2 行目、最終行 %3）。"
                          "範囲を選択し直してください。")
        .arg(editor.dragFirst())
        .arg(editor.dragLast())
        .arg(lastRow);
}

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

QString privateFolderPath()
{
    return QDir::tempPath() + QStringLiteral("/videokadro-") + QString::number(::getuid());
}

// The path a file is known by: its canonical path when it exists, else its cleaned
// absolute path.
QString filePathKey(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    return QDir::cleanPath(info.absoluteFilePath());
}

} // namespace

OutputDriver::OutputDriver(Editor& editor, const PlaybackRateSource* rate) : m_editor(editor), m_rate(rate) {}

OutputDriver::~OutputDriver()
{
    if (!m_ownFolder.isEmpty())
        QDir().rmdir(m_ownFolder); // only when its documents have gone
}

std::optional<QString> OutputDriver::documentFolder()
{
    const std::optional<QString> base = temporaryFolder();
    if (!base)
        return std::nullopt;
    if (*base == m_heldBase && (m_folderLock || !m_ownFolder.isEmpty())) {
        if (m_folderLock)
            return base;
        if (QDir().mkpath(m_ownFolder))
            return m_ownFolder;
    }
    // A new temporary folder (TEMP changed): let the old one go.
    if (!m_ownFolder.isEmpty())
        QDir().rmdir(m_ownFolder);
    m_folderLock.reset();
    m_ownFolder.clear();
    m_heldBase = *base;
    auto lock = std::make_unique<QLockFile>(*base + QStringLiteral("/T-KaDro.lock"));
    // Held for the editor's whole run: only a dead editor's lock is stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_folderLock = std::move(lock);
        return base;
    }
    m_ownFolder = *base + QStringLiteral("/T-KaDro-") + QString::number(QCoreApplication::applicationPid());
    if (!QDir().mkpath(m_ownFolder))
        return std::nullopt;
    return m_ownFolder;
}

QString OutputDriver::applicationFolder() const
{
    QString folder = m_appFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_appFolder;
    return AddTrailingSeparator(folder);
}

QString OutputDriver::writerProgram() const
{
    return applicationFolder() + QStringLiteral("T-VideoWrite");
}

QStringList OutputDriver::temporaryDocuments() const
{
    QStringList paths;
    if (!m_clipsPath.isEmpty())
        paths << m_clipsPath;
    if (!m_paramsPath.isEmpty())
        paths << m_paramsPath;
    return paths;
}

std::optional<QString> OutputDriver::temporaryFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty()) {
        QDir().mkpath(temp);
        return temp;
    }
    // No TEMP: a folder of our own under the shared temporary folder, never fixed file
    // names directly in it.
    const QString path = privateFolderPath();
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return std::nullopt;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return std::nullopt; // a symbolic link, a file, or someone else's folder
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return std::nullopt;
    return path;
}

bool OutputDriver::SameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    return filePathKey(a) == filePathKey(b);
}

void OutputDriver::Preview()
{
    m_editor.setOutputPath(QString());
    VideoFileOutput(m_editor.partOnly() ? 2 : 1, 0);
    m_editor.ui().focusSoundSlider();
}

void OutputDriver::CreateAvi()
{
    m_editor.setOutputPath(QString());
    VideoFileOutput(0, 0);
}

void OutputDriver::CreateWmv()
{
    m_editor.setOutputPath(QString());
    VideoFileOutput(0, 1);
}

void OutputDriver::CreateMp4()
{
    m_editor.setOutputPath(QString());
    VideoFileOutput(0, 2);
}

bool OutputDriver::chooseOutputFile(int fileType)
{
    if (!m_editor.outputPath().isEmpty())
        return true;
    UserDialogs::FileDialog dialog;
    dialog.title = QStringLiteral("名前を付けて保存");
    if (fileType == 1) {
        dialog.filter = QStringLiteral("ビデオファイル(*.wmv;*.asf) (*.wmv *.asf)");
        dialog.defaultSuffix = QStringLiteral("wmv");
    } else if (fileType == 2) {
        dialog.filter = QStringLiteral("ビデオファイル(*.mp4) (*.mp4)");
        dialog.defaultSuffix = QStringLiteral("mp4");
    } else {
        dialog.filter = QStringLiteral("ビデオファイル(*.avi) (*.avi);;サウンドファイル(*.wav) (*.wav)");
        dialog.defaultSuffix = QStringLiteral("avi");
    }
    dialog.fileName = QString();
    const std::optional<QString> name = m_editor.ui().saveFileName(dialog);
    if (!name || name->isEmpty())
        return false;
    m_editor.setOutputPath(*name);
    return true;
}

bool OutputDriver::refuseInputFile()
{
    const QString& output = m_editor.outputPath();
    const RowTable& grid = m_editor.Grid();
    bool input = SameFile(output, m_editor.sndFile());
    for (int r = 1; !input && r < grid.Rows(); ++r)
        input = SameFile(output, grid.videoFile(r));
    if (!input)
        return false;
    m_editor.ui().message(output + kLineBreak + QStringLiteral("入力ファイルに上書きはできません。"),
                          UserDialogs::Icon::Warning);
    return true;
}

void OutputDriver::VideoFileOutput(int previewMode, int fileType)
{
    if (m_editor.sndFile().isEmpty()) {
        m_editor.setMsg(QStringLiteral("音声ﾌｧｲﾙを指定してください。"));
        return;
    }

    const std::optional<QString> folder = documentFolder();
    if (!folder) {
        // The folder tried: TEMP when set, else the private one.
        const QString temp = qEnvironmentVariable("TEMP");
        m_editor.ui().message(QStringLiteral("一時フォルダを使用できません。") + kLineBreak +
                                  (temp.isEmpty() ? privateFolderPath() : temp),
                              UserDialogs::Icon::Warning);
        return;
    }
    const QString program = writerProgram();
    m_clipsPath = *folder + QStringLiteral("/T-KaDro-Clips.xml");
    m_paramsPath = *folder + QStringLiteral("/T-KaDro-Params.xml");
    m_graphPath = *folder + QStringLiteral("/T-KaDro-Grf.grf");
    m_xtlPath = *folder + QStringLiteral("/T-KaDro-Xtl.xml");

    if (m_editor.dragFirst() == 0 || m_editor.dragLast() == 0) {
        m_editor.setDraggedRange(1, 1);
        m_editor.Grid().currentRow = 1;
        m_editor.notifyTable();
    }

    UserDialogs& ui = m_editor.ui();
    try {
        const int lastRow = m_editor.lastRow();
        // A range left from a table that has since become shorter is not guessed at.
        auto draggedRange = [&](double& start, double& end) {
            if (const std::optional<QString> beyond = DraggedRangeBeyondTable(m_editor)) {
                ui.message(*beyond, UserDialogs::Icon::Warning);
                return false;
            }
            start = m_editor.Grid().sectionStart(m_editor.dragFirst());
            if (m_editor.dragLast() >= lastRow)
                end = m_editor.sndLength();
            else
                end = m_editor.Grid().sectionStart(m_editor.dragLast() + 1);
            return true;
        };

        QString target;
        double start = 0;
        double end = 0;
        switch (previewMode) {
        case 1:
            end = m_editor.sndLength();
            break;
        case 2:
            if (!draggedRange(start, end))
                return;
            break;
        case 0:
            if (!chooseOutputFile(fileType))
                return;
            target = m_editor.outputPath();
            if (refuseInputFile())
                return;
            if (!ConfirmOverwrite(m_editor.ui(), target))
                return;
            if (m_editor.partOnly()) {
                if (!draggedRange(start, end))
                    return;
            } else
                end = m_editor.sndLength();
            break;
        default:
            break;
        }

        m_outputFrameInterval =
            OutputProfileGet(m_editor.aviProfileIndex(), m_editor.wmvProfileIndex(), m_format, m_prxFile);
        // MP4: the picture comes from the MP4 list. An index outside it ends the
        // command here, before any document is written.
        const Mp4ListEntry* mp4 = nullptr;
        if (fileType == 2) {
            const int index = m_editor.mp4ProfileIndex();
            if (index < 0 || index >= kMp4ListCount)
                return; // an empty list: no MP4 output was chosen
            mp4 = &Mp4ListAt(index);
            m_outputFrameInterval = Mp4ProfileGet(m_editor.mp4ProfileIndex(), m_format);
        }

        const double f = TimeFactor(m_rate, m_editor);

        const int startPoint = RoundToInt32(RoundTo3(start * f));
        const int endPoint = RoundToInt32(RoundTo3(end * f));

        const TimelineInputs inputs{m_editor.Grid(), m_editor.sndFile(), m_editor.sndLength()};
        TimelineWrite(inputs, m_clipsPath, m_format, fileType, f);

        if (mp4) {
            Mp4Params params;
            params.width = mp4->width;
            params.height = mp4->height;
            params.frameRate = QString::fromLatin1(mp4->frameRateText);
            params.videoQuality = kMp4VideoQuality;
            WriterParamsMp4Write(m_paramsPath, m_clipsPath, target, m_graphPath, m_xtlPath, QString::number(startPoint),
                                 QString::number(endPoint), params);
        } else {
            const bool dv = m_format.width == -1;
            WriterParamsWrite(m_paramsPath, m_clipsPath, target, m_graphPath, m_xtlPath, QString::number(startPoint),
                              QString::number(endPoint), dv ? QStringLiteral("DV Video Encoder") : QString(),
                              dv ? QStringLiteral("PCM") : QString(), m_prxFile);
        }

        if (!ui.startDetached(program, {m_paramsPath}))
            ui.message(QStringLiteral("T-VideoWrite を起動できません。") + kLineBreak + program,
                       UserDialogs::Icon::Warning);
    } catch (const DocumentWriteError& e) {
        // A full or removed temporary folder: the writer cannot be given its documents.
        ui.message(QStringLiteral("T-VideoWrite に渡す一時ファイルを作成できません。") + kLineBreak + e.path() +
                       kLineBreak + e.reason(),
                   UserDialogs::Icon::Warning);
    } catch (const ConversionError&) {
        // A row whose field the document needs cannot be read (a speed that is not a
        // number, a registered row without its points).
        ui.message(QStringLiteral("読み取れない値の行があるため、出力できません。"), UserDialogs::Icon::Warning);
    }
}

} // namespace vk
