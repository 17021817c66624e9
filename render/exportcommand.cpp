#include "render/exportcommand.h"

#include "base/numbers.h"
#include "base/userdialogs.h"
#include "render/outputdriver.h"
#include "render/outputformats.h"
#include "render/timelinedocument.h"
#include "render/writerparams.h"
#include "timeline/editor.h"
#include "timeline/soundtransport.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <exception>

namespace vk {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

struct KindText {
    const char* filter;
    const char* suffix;
};

KindText kindText(ExportKind kind)
{
    switch (kind) {
    case ExportKind::Shotcut:
        return {"Shotcut プロジェクト (*.mlt)", "mlt"};
    case ExportKind::Kdenlive:
        return {"Kdenlive プロジェクト (*.kdenlive)", "kdenlive"};
    case ExportKind::Otio:
        return {"OpenTimelineIO (*.otio)", "otio"};
    case ExportKind::Edl:
        break;
    }
    return {"EDL (CMX 3600) (*.edl)", "edl"};
}

} // namespace

ExportCommand::ExportCommand(Editor& editor, QString writerProgram, const PlaybackRateSource* rate)
    : ExportCommand(
          editor, [program = std::move(writerProgram)] { return program; }, rate)
{
}

ExportCommand::ExportCommand(Editor& editor, std::function<QString()> writerProgram, const PlaybackRateSource* rate)
    : m_editor(editor), m_writer(std::move(writerProgram)), m_rate(rate)
{
}

ExportCommand::~ExportCommand()
{
    if (!running())
        return;
    // The writer ends at its next step on the stop signal and removes its part file.
    m_process->disconnect(this);
    m_process->terminate();
    if (!m_process->waitForFinished(10000)) {
        m_process->kill();
        m_process->waitForFinished(2000);
        QFile::remove(m_target + QStringLiteral(".part"));
    }
}

bool ExportCommand::running() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

void ExportCommand::cancel()
{
    if (!running() || m_cancelled)
        return;
    m_cancelled = true;
    m_process->terminate();
}

std::vector<ExportMarker> ExportCommand::markers(const BeatMarks& beats) const
{
    std::vector<ExportMarker> list;
    const RowTable& grid = m_editor.Grid();
    for (int r = 1; r < grid.Rows(); ++r)
        list.push_back({ExportMarker::Kind::Section, double(grid.sectionStart(r)), QStringLiteral("行 %1").arg(r)});
    int bar = 0;
    for (double ms : beats.beatsMs) {
        const bool first = std::find(beats.barsMs.begin(), beats.barsMs.end(), ms) != beats.barsMs.end();
        if (first)
            ++bar;
        list.push_back({first ? ExportMarker::Kind::Bar : ExportMarker::Kind::Beat, ms,
                        first ? QStringLiteral("小節 %1").arg(bar) : QStringLiteral("拍")});
    }
    return list;
}

namespace {

// The rows whose transitions the export has written as dissolves, for the message.
QString replacedText(const std::vector<std::pair<QString, QString>>& effects, const QStringList& replaced)
{
    QStringList rows;
    for (const auto& [clsid, row] : effects)
        for (const QString& c : replaced)
            if (c.compare(clsid, Qt::CaseInsensitive) == 0)
                rows << row;
    if (rows.isEmpty())
        return QString();
    return kLineBreak + kLineBreak +
           QStringLiteral("次のトランジションは書き出し先にないため、ディゾルブにしました。") + kLineBreak +
           rows.join(kLineBreak);
}

// Writes every file or none: each goes to a temporary file beside its target, unbuffered
// and flushed so that a full disk is seen before anything replaces a target, and they
// replace their targets only once all are written. False with the reason otherwise.
bool saveFiles(const QStringList& paths, const std::vector<QByteArray>& texts, QString& reason)
{
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (int i = 0; i < paths.size(); ++i) {
        auto file = std::make_unique<QSaveFile>(paths[i]);
        const QByteArray& bytes = texts[size_t(i)];
        const bool ok = file->open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                        file->write(bytes) == bytes.size() && file->flush();
        if (!ok) {
            reason = paths[i] + kLineBreak + file->errorString();
            // Qt reports a full disk (ENOSPC) as a resource error.
            if (file->error() == QFileDevice::ResourceError)
                reason = paths[i] + kLineBreak + QStringLiteral("ディスクの空き容量が足りません。") + kLineBreak +
                         file->errorString();
            file->cancelWriting();
            for (auto& f : files)
                f->cancelWriting();
            return false;
        }
        files.push_back(std::move(file));
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->commit()) {
            reason = paths[int(i)] + kLineBreak + files[i]->errorString();
            for (size_t j = i + 1; j < files.size(); ++j)
                files[j]->cancelWriting();
            return false;
        }
    }
    return true;
}

} // namespace

void ExportCommand::Export(ExportKind kind, const BeatMarks& beats)
{
    UserDialogs& ui = m_editor.ui();
    if (m_editor.sndFile().isEmpty()) {
        m_editor.setMsg(QStringLiteral("音声ﾌｧｲﾙを指定してください。"));
        return;
    }
    if (running()) {
        ui.message(QStringLiteral("書き出し中です。終わるまでお待ちください。") + kLineBreak + m_target,
                   UserDialogs::Icon::Information);
        return;
    }
    const KindText text = kindText(kind);
    UserDialogs::FileDialog dialog;
    dialog.title = QStringLiteral("書き出し");
    dialog.filter = QString::fromUtf8(text.filter);
    dialog.defaultSuffix = QString::fromLatin1(text.suffix);
    const std::optional<QString> chosen = ui.saveFileName(dialog);
    if (!chosen || chosen->isEmpty())
        return;
    const QString target = *chosen;
    const RowTable& grid = m_editor.Grid();
    auto isInput = [&](const QString& path) {
        bool input = OutputDriver::SameFile(path, m_editor.sndFile());
        for (int r = 1; !input && r < grid.Rows(); ++r)
            input = OutputDriver::SameFile(path, grid.videoFile(r));
        return input;
    };
    if (isInput(target)) {
        ui.message(target + kLineBreak + QStringLiteral("入力ファイルに上書きはできません。"),
                   UserDialogs::Icon::Warning);
        return;
    }
    if (!ConfirmOverwrite(ui, target))
        return;

    try {
        if (m_editor.dragFirst() == 0 || m_editor.dragLast() == 0)
            m_editor.setDraggedRange(1, 1);
        double start = 0;
        double end = m_editor.sndLength();
        if (m_editor.partOnly()) {
            if (const std::optional<QString> beyond = DraggedRangeBeyondTable(m_editor)) {
                ui.message(*beyond, UserDialogs::Icon::Warning);
                return;
            }
            start = grid.sectionStart(m_editor.dragFirst());
            if (m_editor.dragLast() < m_editor.lastRow())
                end = grid.sectionStart(m_editor.dragLast() + 1);
        }
        if (m_editor.mp4ProfileIndex() < 0 || m_editor.mp4ProfileIndex() >= kMp4ListCount)
            return; // an empty list: no picture size was chosen
        OutputFormat format;
        Mp4ProfileGet(m_editor.mp4ProfileIndex(), format);
        const Mp4ListEntry& mp4 = Mp4ListAt(m_editor.mp4ProfileIndex());

        const double f = TimeFactor(m_rate, m_editor);
        const int startPoint = RoundToInt32(RoundTo3(start * f));
        const int endPoint = RoundToInt32(RoundTo3(end * f));

        const TimelineInputs inputs{grid, m_editor.sndFile(), m_editor.sndLength()};
        const QString timeline = TimelineDocumentText(inputs, format, 2, f);
        const std::vector<ExportMarker> marks = markers(beats);

        std::vector<std::pair<QString, QString>> effects;
        for (int r = 1; r < grid.Rows(); ++r)
            if (!grid.effect(r).isEmpty() && grid.hasVideo(r))
                effects.emplace_back(TransitionClsid(true, grid.effect(r)),
                                     QStringLiteral("行 %1: %2").arg(r).arg(grid.effect(r)));
        m_effects = std::move(effects);

        if (kind == ExportKind::Otio || kind == ExportKind::Edl) {
            ExportSettings s;
            ExportRateFraction(format.frameRate, s.rateNum, s.rateDen);
            s.width = format.width;
            s.height = format.height;
            s.startMs = startPoint;
            s.endMs = endPoint;
            s.timeFactor = f;
            s.title = QFileInfo(target).completeBaseName();
            const ExportResult result =
                kind == ExportKind::Otio ? OtioExport(timeline, s, marks) : EdlExport(timeline, s);
            std::vector<QByteArray> texts{result.text};
            texts.insert(texts.end(), result.continued.begin(), result.continued.end());
            QStringList paths{target};
            for (size_t n = 2; n <= texts.size(); ++n)
                paths << EdlFilePath(target, int(n));
            // The further files of a long EDL are asked about like the first.
            for (int i = 1; i < paths.size(); ++i) {
                if (isInput(paths[i])) {
                    ui.message(paths[i] + kLineBreak + QStringLiteral("入力ファイルに上書きはできません。"),
                               UserDialogs::Icon::Warning);
                    return;
                }
                if (!ConfirmOverwrite(ui, paths[i]))
                    return;
            }
            QString reason;
            if (!saveFiles(paths, texts, reason)) {
                ui.message(QStringLiteral("書き出しに失敗しました。") + kLineBreak + reason,
                           UserDialogs::Icon::Warning);
                return;
            }
            QString message = QStringLiteral("書き出しました。") + kLineBreak + target;
            if (paths.size() > 1)
                message = QStringLiteral("書き出しました。EDL は 1 ファイルに %1 イベントまでのため、"
                                         "%2 個のファイルに分けました。")
                              .arg(kEdlMaxEvents)
                              .arg(paths.size()) +
                          kLineBreak + paths.join(kLineBreak);
            ui.message(message + replacedText(m_effects, result.replaced), UserDialogs::Icon::Information);
            return;
        }

        const std::optional<QString> folder = OutputDriver::temporaryFolder();
        if (!folder) {
            ui.message(QStringLiteral("一時フォルダを使用できません。"), UserDialogs::Icon::Warning);
            return;
        }
        // The writer's documents go into a folder of this export's own, removed once the
        // writer is done: an editor exporting at the same moment has its own.
        auto work = std::make_unique<QTemporaryDir>(*folder + QStringLiteral("/T-KaDro-Export-XXXXXX"));
        if (!work->isValid()) {
            ui.message(QStringLiteral("一時フォルダを使用できません。") + kLineBreak + *folder + kLineBreak +
                           work->errorString(),
                       UserDialogs::Icon::Warning);
            return;
        }
        const QString clips = work->filePath(QStringLiteral("T-KaDro-Export-Clips.xml"));
        const QString params = work->filePath(QStringLiteral("T-KaDro-Export-Params.xml"));
        const QString markersPath = work->filePath(QStringLiteral("T-KaDro-Export-Markers.xml"));
        SaveXmlBytes(clips, timeline.toUtf8());
        Mp4Params p;
        p.width = mp4.width;
        p.height = mp4.height;
        p.frameRate = QString::fromLatin1(mp4.frameRateText);
        p.videoQuality = kMp4VideoQuality;
        WriterParamsMp4Write(params, clips, target, QString(), QString(), QString::number(startPoint),
                             QString::number(endPoint), p);
        pugi::xml_document doc;
        pugi::xml_node root = doc.append_child("markers");
        for (const ExportMarker& m : marks) {
            pugi::xml_node n = root.append_child("marker");
            SetXmlAttribute(n, "kind",
                            m.kind == ExportMarker::Kind::Section ? QStringLiteral("section")
                            : m.kind == ExportMarker::Kind::Bar   ? QStringLiteral("bar")
                                                                  : QStringLiteral("beat"));
            SetXmlAttribute(n, "seconds", ShortestDecimal(RoundTo3(m.soundMs / 1000.0 * f)));
            SetXmlAttribute(n, "name", m.name);
        }
        SaveXmlBytes(markersPath, RawXmlBytes(doc));

        // The writer runs beside the editor; it tells the user nothing itself.
        // A child of the command as well: one that ended goes with it at the latest.
        auto process = std::make_unique<QProcess>(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VK_WRITER_NO_DIALOGS"), QStringLiteral("1"));
        process->setProcessEnvironment(env);
        process->setProgram(m_writer());
        process->setArguments({QStringLiteral("--export"),
                               kind == ExportKind::Shotcut ? QStringLiteral("shotcut") : QStringLiteral("kdenlive"),
                               target, params, markersPath});
        connect(process.get(), &QProcess::readyReadStandardOutput, this, &ExportCommand::writerOutput);
        connect(process.get(), &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) { writerEnded(code, status == QProcess::CrashExit); });
        connect(process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                writerEnded(-1, false);
        });
        m_process = std::move(process);
        m_work = std::move(work);
        m_target = target;
        m_out.clear();
        m_cancelled = false;
        m_process->start();
        if (m_process)
            emit started(target);
    } catch (const DocumentWriteError& e) {
        ui.message(QStringLiteral("書き出しに失敗しました。") + kLineBreak + target + kLineBreak +
                       QStringLiteral("一時ファイルを書き込めません。") + kLineBreak + e.path() + kLineBreak +
                       e.reason(),
                   UserDialogs::Icon::Warning);
    } catch (const ConversionError&) {
        ui.message(QStringLiteral("書き出しに失敗しました。") + kLineBreak + target + kLineBreak +
                       QStringLiteral("読み取れない値の行があります。"),
                   UserDialogs::Icon::Warning);
    }
}

void ExportCommand::writerOutput()
{
    if (!m_process)
        return;
    m_out += QString::fromUtf8(m_process->readAllStandardOutput());
    static const QRegularExpression line(QStringLiteral("^progress +(\\d+)%"), QRegularExpression::MultilineOption);
    int percent = -1;
    for (auto it = line.globalMatch(m_out); it.hasNext();)
        percent = it.next().captured(1).toInt();
    if (percent >= 0)
        emit progress(std::clamp(percent, 0, 100) / 100.0);
}

void ExportCommand::writerEnded(int exitCode, bool crashed)
{
    if (!m_process)
        return;
    // Destroyed from the event loop: this may run inside one of the process' own signals.
    QProcess* process = m_process.release();
    process->deleteLater();
    m_out += QString::fromUtf8(process->readAllStandardOutput());
    QString err = QString::fromUtf8(process->readAllStandardError()).trimmed();
    err.remove(QStringLiteral("T-VideoWrite: "));
    const bool failedToStart = process->error() == QProcess::FailedToStart && exitCode == -1 && !crashed;
    m_work.reset();
    const QString target = m_target;
    const bool cancelled = m_cancelled;
    m_cancelled = false;
    // The progress goes before a message box comes up.
    emit finished();
    UserDialogs& ui = m_editor.ui();
    if (failedToStart) {
        ui.message(QStringLiteral("T-VideoWrite を起動できません。") + kLineBreak + process->program(),
                   UserDialogs::Icon::Warning);
    } else if (cancelled && (exitCode != 0 || crashed)) {
        // A writer stopped before its first step may not have removed its part file.
        QFile::remove(target + QStringLiteral(".part"));
        m_editor.setMsg(QStringLiteral("書き出しをキャンセルしました。ファイルは作成されていません。"));
    } else if (exitCode != 0 || crashed) {
        ui.message(QStringLiteral("書き出しに失敗しました。") + kLineBreak + target +
                       (err.isEmpty() ? QString() : kLineBreak + err),
                   UserDialogs::Icon::Warning);
    } else {
        QStringList replaced;
        for (const QString& l : m_out.split(QLatin1Char('\n')))
            if (l.startsWith(QLatin1String("replaced: ")))
                replaced << l.mid(10).trimmed();
        ui.message(QStringLiteral("書き出しました。") + kLineBreak + target + replacedText(m_effects, replaced),
                   UserDialogs::Icon::Information);
    }
}

} // namespace vk
