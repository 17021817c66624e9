#include "render/exportcommand.h"

#include "base/numbers.h"
#include "base/userdialogs.h"
#include "render/outputdriver.h"
#include "render/outputformats.h"
#include "render/timelinedocument.h"
#include "render/writerparams.h"
#include "timeline/editor.h"
#include "timeline/soundtransport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <exception>

namespace vk {

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

int runWriter(const QString& program, const QStringList& args, QString& out, QString& err)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(10000))
        return -1;
    process.waitForFinished(-1);
    out = QString::fromUtf8(process.readAllStandardOutput());
    err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

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
    : m_editor(editor), m_writer(std::move(writerProgram)), m_rate(rate), m_run(runWriter)
{
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

void ExportCommand::Export(ExportKind kind, const BeatMarks& beats)
{
    UserDialogs& ui = m_editor.ui();
    if (m_editor.sndFile().isEmpty()) {
        m_editor.setMsg(QStringLiteral("音声ﾌｧｲﾙを指定してください。"));
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
    bool input = OutputDriver::SameFile(target, m_editor.sndFile());
    for (int r = 1; !input && r < grid.Rows(); ++r)
        input = OutputDriver::SameFile(target, grid.videoFile(r));
    if (input) {
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
            start = grid.sectionStart(m_editor.dragFirst());
            if (m_editor.dragLast() < m_editor.lastRow())
                end = grid.sectionStart(m_editor.dragLast() + 1);
        }
        OutputFormat format;
        Mp4ProfileGet(m_editor.mp4ProfileIndex(), format);
        const Mp4ListEntry& mp4 = Mp4ListAt(m_editor.mp4ProfileIndex());

        const double f = TimeFactor(m_rate, m_editor);
        const int startPoint = RoundToInt32(RoundTo3(start * f));
        const int endPoint = RoundToInt32(RoundTo3(end * f));

        const TimelineInputs inputs{grid, m_editor.sndFile(), m_editor.sndLength()};
        const QString timeline = TimelineDocumentText(inputs, format, 2, f);
        const std::vector<ExportMarker> marks = markers(beats);

        QStringList replaced;
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
            SaveXmlBytes(target, result.text);
            replaced = result.replaced;
        } else {
            const std::optional<QString> folder = OutputDriver::temporaryFolder();
            if (!folder) {
                ui.message(QStringLiteral("一時フォルダを使用できません。"), UserDialogs::Icon::Warning);
                return;
            }
            // The writer's documents go into a folder of this export's own, removed once the
            // writer is done: an editor exporting at the same moment has its own.
            const QTemporaryDir work(*folder + QStringLiteral("/T-KaDro-Export-XXXXXX"));
            if (!work.isValid()) {
                ui.message(QStringLiteral("一時フォルダを使用できません。"), UserDialogs::Icon::Warning);
                return;
            }
            const QString clips = work.filePath(QStringLiteral("T-KaDro-Export-Clips.xml"));
            const QString params = work.filePath(QStringLiteral("T-KaDro-Export-Params.xml"));
            const QString markersPath = work.filePath(QStringLiteral("T-KaDro-Export-Markers.xml"));
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
            QString out, err;
            const int code =
                m_run(m_writer,
                      {QStringLiteral("--export"),
                       kind == ExportKind::Shotcut ? QStringLiteral("shotcut") : QStringLiteral("kdenlive"), target,
                       params, markersPath},
                      out, err);
            if (code != 0) {
                QString reason = err.trimmed();
                reason.remove(QStringLiteral("T-VideoWrite: "));
                ui.message(QStringLiteral("書き出しに失敗しました。") + kLineBreak + target +
                               (reason.isEmpty() ? QString() : kLineBreak + reason),
                           UserDialogs::Icon::Warning);
                return;
            }
            for (const QString& line : out.split(QLatin1Char('\n')))
                if (line.startsWith(QLatin1String("replaced: ")))
                    replaced << line.mid(10).trimmed();
        }

        QString message = QStringLiteral("書き出しました。") + kLineBreak + target;
        QStringList rows;
        for (int r = 1; r < grid.Rows(); ++r) {
            const QString& effect = grid.effect(r);
            if (effect.isEmpty() || !grid.hasVideo(r))
                continue;
            const QString clsid = TransitionClsid(true, effect);
            for (const QString& c : replaced)
                if (c.compare(clsid, Qt::CaseInsensitive) == 0)
                    rows << QStringLiteral("行 %1: %2").arg(r).arg(effect);
        }
        if (!rows.isEmpty())
            message += kLineBreak + kLineBreak +
                       QStringLiteral("次のトランジションは書き出し先にないため、ディゾルブにしました。") + kLineBreak +
                       rows.join(kLineBreak);
        ui.message(message, UserDialogs::Icon::Information);
    } catch (const std::exception&) {
        ui.message(QStringLiteral("書き出しに失敗しました。") + kLineBreak + target, UserDialogs::Icon::Warning);
    }
}

} // namespace vk
