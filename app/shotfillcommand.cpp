#include "app/shotfillcommand.h"

#include "app/shotfilldialog.h"
#include "base/numbers.h"
#include "base/settingsstore.h"
#include "media/analysis/shotworker.h"
#include "timeline/editor.h"
#include "timeline/shotfill.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>

#include <algorithm>
#include <limits>
#include <optional>

namespace vk {

namespace {

const QString kKeySource = QStringLiteral("ShotFillSource");
const QString kKeyFiles = QStringLiteral("ShotFillFiles");
const QString kKeyFolder = QStringLiteral("ShotFillFolder");
const QString kKeyRows = QStringLiteral("ShotFillRows");
const QString kKeyOnlyEmpty = QStringLiteral("ShotFillOnlyEmpty");
const QString kKeySpeed = QStringLiteral("ShotFillSpeed");
const QString kKeySeed = QStringLiteral("ShotFillSeed");

bool readFlag(SettingsStore& s, const QString& key, bool fallback)
{
    QString text;
    if (!s.RegValueRead(key, text) || text.isEmpty())
        return fallback;
    return text == QLatin1String("1");
}

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// The span of the footage a row's video registration plays, if it has one that reads.
std::optional<UsedSpan> rowSpan(const Editor& editor, int row)
{
    const RowTable& g = editor.Grid();
    const QString& file = g.videoFile(row);
    if (file.isEmpty())
        return std::nullopt;
    try {
        const std::optional<int> in = g.inPoint(row);
        const std::optional<int> out = g.outPoint(row);
        if (!g.frameInterval(row) || !in || !out)
            return std::nullopt;
        double end = *out;
        // 等速 plays from the in point for the section's length, whatever the out point.
        if (g.speed(row).isNormal())
            end = std::max(end, *in + editor.sectionLength(row));
        return UsedSpan{file, double(*in), end};
    } catch (const ConversionError&) {
        return std::nullopt; // cells that do not read hold no span to keep free
    }
}

} // namespace

void ShotFillChoices::load(SettingsStore& s)
{
    QString text;
    fromFolder = readFlag(s, kKeySource, false);
    if (s.RegValueRead(kKeyFiles, text) && !text.isEmpty())
        files = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (s.RegValueRead(kKeyFolder, text))
        folder = text;
    draggedRange = readFlag(s, kKeyRows, false);
    onlyEmpty = readFlag(s, kKeyOnlyEmpty, true);
    varySpeed = readFlag(s, kKeySpeed, false);
    if (s.RegValueRead(kKeySeed, text)) {
        bool ok = false;
        const uint v = text.toUInt(&ok);
        if (ok)
            seed = v;
    }
}

void ShotFillChoices::save(SettingsStore& s) const
{
    s.RegValueWrite(kKeySource, flag(fromFolder));
    s.RegValueWrite(kKeyFiles, files.join(QLatin1Char('\n')));
    s.RegValueWrite(kKeyFolder, folder);
    s.RegValueWrite(kKeyRows, flag(draggedRange));
    s.RegValueWrite(kKeyOnlyEmpty, flag(onlyEmpty));
    s.RegValueWrite(kKeySpeed, flag(varySpeed));
    s.RegValueWrite(kKeySeed, QString::number(seed));
    s.sync();
}

QStringList videoFilesIn(const QString& folder)
{
    static const QStringList patterns = {
        QStringLiteral("*.mp4"),  QStringLiteral("*.m4v"), QStringLiteral("*.mov"), QStringLiteral("*.mkv"),
        QStringLiteral("*.avi"),  QStringLiteral("*.wmv"), QStringLiteral("*.mpg"), QStringLiteral("*.mpeg"),
        QStringLiteral("*.webm"), QStringLiteral("*.ts"),  QStringLiteral("*.mts"), QStringLiteral("*.m2ts"),
        QStringLiteral("*.flv"),  QStringLiteral("*.3gp"), QStringLiteral("*.ogv"), QStringLiteral("*.dv")};
    QDir dir(folder);
    QStringList out;
    for (const QString& name : dir.entryList(patterns, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase))
        out << dir.absoluteFilePath(name);
    return out;
}

ShotFillCommand::ShotFillCommand(Editor& editor, SettingsStore& settings, std::vector<double> onsetsMs)
    : m_editor(editor), m_settings(settings), m_onsets(std::move(onsetsMs))
{
}

ShotFillResult ShotFillCommand::fill(const ShotFillChoices& choices,
                                     const std::vector<std::pair<QString, ShotAnalysis>>& analyses)
{
    ShotFillResult result;
    const int last = m_editor.lastRow();
    int first = m_editor.Grid().currentRow;
    int end = last;
    if (choices.draggedRange) {
        first = std::min(m_editor.dragFirst(), m_editor.dragLast());
        end = std::max(m_editor.dragFirst(), m_editor.dragLast());
    }
    first = std::max(first, 1);
    end = std::min(end, last);

    // The sections to fill, with their onsets per second where the song has onsets.
    std::vector<FillSection> sections;
    std::vector<double> starts;
    std::vector<double> ends;
    double shortest = std::numeric_limits<double>::max();
    for (int r = first; r <= end; ++r) {
        if (choices.onlyEmpty && m_editor.Grid().hasVideo(r))
            continue;
        const double length = m_editor.sectionLength(r);
        if (length <= 0.0)
            continue;
        const double start = m_editor.Grid().sectionStart(r);
        sections.push_back({r, length, -1.0});
        starts.push_back(start);
        ends.push_back(start + length);
        shortest = std::min(shortest, length);
    }
    const std::vector<double> energy = onsetDensity(starts, ends, m_onsets);
    for (size_t i = 0; i < sections.size(); ++i)
        sections[i].energy = energy[i];

    // The sources: files with shots, long enough for at least the shortest section.
    std::vector<ShotSource> sources;
    for (const auto& [path, a] : analyses) {
        const QString name = QFileInfo(path).fileName();
        if (!a.ok()) {
            result.skipped << name + QStringLiteral(": ") + a.reason;
            continue;
        }
        if (a.durationMs < shortest) {
            result.skipped << name + QStringLiteral(": shorter than any section");
            continue;
        }
        ShotSource s;
        s.file = path;
        // The frame interval as the registration panel computes it.
        s.frameIntervalMs = a.fps > 0.0 ? RoundToInt32(1000.0 / a.fps) : RoundToInt32(1000.0 / 30.0);
        s.width = a.width;
        s.height = a.height;
        for (const Shot& sh : a.shots)
            s.shots.push_back({sh.startMs, sh.endMs, sh.motion});
        sources.push_back(std::move(s));
    }

    // What the rows that keep their video already use.
    std::vector<UsedSpan> used;
    std::vector<bool> filling(size_t(last) + 1, false);
    for (const FillSection& s : sections)
        filling[size_t(s.row)] = true;
    for (int r = 1; r <= last; ++r) {
        if (filling[size_t(r)])
            continue;
        if (const auto span = rowSpan(m_editor, r))
            used.push_back(*span);
    }

    if (!result.skipped.isEmpty()) {
        m_editor.ui().message(QStringLiteral("次のファイルは使えませんでした:\n") +
                                  result.skipped.join(QLatin1Char('\n')),
                              UserDialogs::Icon::Warning);
    }
    if (sources.empty() || sections.empty()) {
        result.empty = int(sections.size());
        result.status =
            sections.empty() ? QStringLiteral("埋める区間がありません") : QStringLiteral("使える映像がありません");
        m_editor.setMsg(result.status);
        return result;
    }
    FillOptions options;
    options.varySpeed = choices.varySpeed;
    options.seed = choices.seed;
    FillPlan plan = planFill(sections, sources, used, options);
    // A row of the range that keeps its video because nothing could replace it keeps its
    // span too: plan again with that span taken, so no new span overlaps it.
    // Each round takes at least one section away, so the rounds end.
    int keptRows = 0;
    for (;;) {
        std::vector<UsedSpan> kept;
        std::vector<FillSection> rest;
        for (const FillSection& sec : sections) {
            const bool empty = std::find(plan.emptyRows.begin(), plan.emptyRows.end(), sec.row) != plan.emptyRows.end();
            const auto span = empty ? rowSpan(m_editor, sec.row) : std::nullopt;
            if (span)
                kept.push_back(*span);
            else
                rest.push_back(sec);
        }
        if (kept.empty())
            break;
        used.insert(used.end(), kept.begin(), kept.end());
        sections = std::move(rest);
        plan = planFill(sections, sources, used, options);
        keptRows += int(kept.size());
    }
    result.filled = sections.empty() ? 0 : applyFill(m_editor, plan, sources);
    result.empty = plan.unfilled;
    result.kept = keptRows;
    result.status = QStringLiteral("%1 行を埋めました").arg(result.filled);
    if (plan.unfilled > 0)
        result.status += QStringLiteral("。%1 行は空のままです").arg(plan.unfilled);
    if (keptRows > 0)
        result.status += QStringLiteral("。%1 行は元の映像のままです").arg(keptRows);
    m_editor.setMsg(result.status);
    return result;
}

void ShotFillCommand::exec(QWidget* parent)
{
    ShotFillChoices choices;
    choices.load(m_settings);
    ShotFillDialog dialog(choices, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    choices = dialog.choices();
    choices.save(m_settings);

    const QStringList files = choices.fromFolder ? videoFilesIn(choices.folder) : choices.files;
    if (files.isEmpty()) {
        m_editor.ui().message(choices.fromFolder ? QStringLiteral("フォルダに映像ファイルがありません")
                                                 : QStringLiteral("映像ファイルが選ばれていません"),
                              UserDialogs::Icon::Warning);
        return;
    }

    std::vector<std::pair<QString, ShotAnalysis>> analyses(size_t(files.size()));
    ShotWorker worker;
    QProgressDialog progress(QStringLiteral("映像のショットを解析しています..."), QStringLiteral("キャンセル"), 0, 1000,
                             parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&worker, &ShotWorker::progress, &progress,
                     [&](quint64, double f) { progress.setValue(int(f * 1000.0)); });
    QObject::connect(&worker, &ShotWorker::fileFinished, &loop,
                     [&](quint64, int index, const QString& path, const ShotAnalysis& a, bool) {
                         analyses[size_t(index)] = {path, a};
                     });
    QObject::connect(&worker, &ShotWorker::finished, &loop, [&](quint64) {
        finished = true;
        loop.quit();
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] {
        worker.cancel();
        loop.quit();
    });
    worker.start(files);
    loop.exec();
    progress.reset();
    if (!finished)
        return;
    fill(choices, analyses);
}

} // namespace vk
