#include "app/beatassist.h"

#include "app/tapcalibration.h"
#include "app/waveformstrip.h"
#include "base/settingsstore.h"
#include "base/userdialogs.h"
#include "media/analysis/analysisworker.h"
#include "media/soundpanel.h"
#include "project/projectfile.h"
#include "timeline/beatgrid.h"
#include "timeline/beatsnap.h"
#include "timeline/editor.h"
#include "timeline/gridcorrections.h"
#include "timeline/undohistory.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace vk {

namespace {
const QString kSnapKey = QStringLiteral("beat_snap");
const QString kWindowKey = QStringLiteral("beat_snap_window");
const QString kLatencyKey = QStringLiteral("tap_latency");
} // namespace

BeatAssist::BeatAssist(Editor& editor, SoundPanel& sound, SettingsStore& settings, QSlider* slider, QMenu* editMenu,
                       EngineFactory clickPlayers, QObject* parent)
    : QObject(parent), m_editor(editor), m_sound(sound), m_settings(settings), m_clickPlayers(std::move(clickPlayers)),
      m_slider(slider), m_worker(std::make_unique<AnalysisWorker>()), m_analysis(std::make_shared<AudioAnalysis>())
{
    bool ok = true;
    const int snap = m_settings.readInt(kSnapKey, 0, &ok);
    m_snapOn = ok && snap == 1;
    const int window = m_settings.readInt(kWindowKey, int(kDefaultSnapWindowMs), &ok);
    m_windowMs = ok && window > 0 && window <= 1000 ? window : kDefaultSnapWindowMs;
    const int latency = m_settings.readInt(kLatencyKey, 0, &ok);
    m_latencyMs = ok && std::abs(latency) <= 1000 ? latency : 0.0;

    if (m_slider && m_slider->parentWidget()) {
        m_strip = new WaveformStrip(m_slider->parentWidget());
        placeStrip();
        m_slider->installEventFilter(this);
        connect(m_strip, &WaveformStrip::seekRequested, this, [this](double ms) {
            m_sound.scrollTo(int(std::lround(ms)));
            m_editor.ui().focusSoundSlider();
        });
        connect(m_strip, &WaveformStrip::beatDragged, this,
                [this](double beat, double to, bool onlyFrom) { moveBeat(beat, to, onlyFrom); });
        connect(m_strip, &WaveformStrip::gridCommand, this,
                [this](WaveformStrip::GridCommand command, double beat) { gridCommand(command, beat); });
        m_strip->show();
    }

    if (editMenu) {
        editMenu->addSeparator();
        QAction* snapAction = editMenu->addAction(QStringLiteral("ビートに吸着(&B)"));
        snapAction->setObjectName(QStringLiteral("mnuBeatSnap"));
        snapAction->setCheckable(true);
        snapAction->setChecked(m_snapOn);
        connect(snapAction, &QAction::toggled, this, [this](bool on) { setSnapOn(on); });
        m_snapAction = snapAction;
        QAction* split = editMenu->addAction(QStringLiteral("ビートで区間分割(&T)"));
        split->setObjectName(QStringLiteral("mnuBeatSplit"));
        connect(split, &QAction::triggered, this, [this] { beatSplitCommand(); });
        QAction* calibrate = editMenu->addAction(QStringLiteral("タップの遅れを測る(&M)..."));
        calibrate->setObjectName(QStringLiteral("mnuTapCalibrate"));
        connect(calibrate, &QAction::triggered, this, [this] { calibrateCommand(); });
    }

    connect(&m_sound, &SoundPanel::loaded, this, &BeatAssist::clipLoaded);
    connect(&m_sound, &SoundPanel::changed, this, [this] {
        if (m_strip)
            m_strip->setPosition(m_sound.position(), m_sound.timerActive());
    });
    connect(&m_editor, &Editor::tableChanged, this, &BeatAssist::refreshSections);
    connect(m_worker.get(), &AnalysisWorker::progress, this, [this](quint64 job, double fraction) {
        if (job == m_worker->currentJob() && m_strip)
            m_strip->setProgress(fraction);
    });
    connect(m_worker.get(), &AnalysisWorker::finished, this,
            [this](quint64 job, const QString&, const AudioAnalysis& analysis, bool) {
                if (job == m_worker->currentJob())
                    setAnalysis(analysis);
            });
    m_editor.sections().setTapAdjuster(this);

    // The corrections are a part of the document that undo brings back, and go into the
    // project file.
    m_correctionsPart = m_editor.history().addDocumentPart(
        {[this] { return m_correctionBytes; },
         [this](const QByteArray& bytes) {
             setCorrections(GridCorrections::fromBytes(bytes).value_or(GridCorrections()), true);
         }});
    if (auto* project = dynamic_cast<ProjectFile*>(m_editor.projectCommands())) {
        ProjectFile::BeatGridHooks hooks;
        hooks.save = [this]() -> std::optional<ProjectFile::BeatGridElement> {
            if (m_corrections.empty())
                return std::nullopt;
            return ProjectFile::BeatGridElement{soundKey(), m_correctionBytes};
        };
        hooks.load = [this](const std::optional<ProjectFile::BeatGridElement>& grid) {
            projectGridLoaded(grid ? grid->soundKey : QByteArray(), grid ? grid->corrections : QByteArray(),
                              grid.has_value());
        };
        project->setBeatGridHooks(std::move(hooks));
    }
}

BeatAssist::~BeatAssist()
{
    if (m_editor.sections().tapAdjuster() == this)
        m_editor.sections().setTapAdjuster(nullptr);
    if (m_slider)
        m_slider->removeEventFilter(this);
    // The worker cancels its job and waits for its thread.
    m_worker.reset();
    delete m_strip;
}

// ---- taps ----------------------------------------------------------------------------------

double BeatAssist::adjustTap(double playerMs)
{
    const double tap = playerMs - m_latencyMs;
    if (!m_snapOn || !m_analysis->hasBeats())
        return tap;
    m_taps.push_back(tap);
    if (int(m_taps.size()) > kLevelTaps)
        m_taps.erase(m_taps.begin());
    resolveLevel();
    return snapTap(tap, m_beats, m_analysis->onsetsMs, m_windowMs).ms;
}

void BeatAssist::resolveLevel()
{
    // The tracker's beats, on the level, phase and timing of the taps once there are a
    // few; none for a sound without a steady beat. The strip shows the same beats.
    // The corrections by hand go on top.
    CorrectedGrid grid = gridFor(m_corrections);
    m_heldBack = grid.heldBack;
    m_beats = std::move(grid.beats);
    m_bars = std::move(grid.bars);
    m_segments = std::move(grid.segments);
    if (m_strip) {
        m_strip->setBeats(m_beats, m_bars);
        m_strip->setSegments(m_segments);
        m_strip->setPendingTempo(m_pendingTempo);
    }
}

CorrectedGrid BeatAssist::gridFor(const GridCorrections& corrections) const
{
    const std::vector<double> base = m_grid.beatsFor(m_taps);
    const double end = m_editor.sndLength() > 0 ? m_editor.sndLength() : m_analysis->durationMs;
    return correctGrid(base, barsOnBeats(m_analysis->downbeatsMs, base), corrections, end);
}

void BeatAssist::setSnapOn(bool on)
{
    m_snapOn = on;
    m_settings.RegValueWrite(kSnapKey, on ? 1 : 0);
    if (m_snapAction && m_snapAction->isChecked() != on)
        m_snapAction->setChecked(on);
}

void BeatAssist::setLatencyMs(double ms)
{
    m_latencyMs = std::clamp(std::round(ms), -1000.0, 1000.0);
    m_settings.RegValueWrite(kLatencyKey, int(m_latencyMs));
}

// ---- analysis ------------------------------------------------------------------------------

void BeatAssist::clipLoaded(const QString& path)
{
    m_taps.clear();
    m_analysis = std::make_shared<AudioAnalysis>();
    m_grid = BeatGrid();
    m_beats.clear();
    m_bars.clear();
    m_segments.clear();
    m_corrections = GridCorrections();
    m_correctionBytes.clear();
    m_correctionsGiven = false;
    m_pendingTempo.reset();
    m_soundKey.clear();
    m_soundKeyKnown = false;
    if (m_strip) {
        m_strip->setAnalysis(nullptr, m_editor.sndLength());
        m_strip->setBeats({}, {});
        m_strip->setSegments({});
        m_strip->setPendingTempo(std::nullopt);
        m_strip->setProgress(0.0);
    }
    m_worker->start(path);
}

void BeatAssist::setAnalysis(const AudioAnalysis& analysis)
{
    m_analysis = std::make_shared<AudioAnalysis>(analysis);
    m_grid = BeatGrid(analysis.beatsMs, analysis.onsetsMs);
    if (m_strip) {
        m_strip->setAnalysis(m_analysis, m_editor.sndLength() > 0 ? m_editor.sndLength() : analysis.durationMs);
        m_strip->setProgress(-1.0);
    }
    // Corrections made on this file before, unless the project brought its own.
    size_t dropped = 0;
    if (!m_correctionsGiven && m_corrections.empty()) {
        const std::optional<GridCorrections> kept =
            GridCorrections::fromBytes(m_cache.loadCorrections(soundKey()), &dropped);
        // A list that was cut is stored as it is now used.
        if (kept && !kept->empty())
            startFromCorrections(*kept, dropped > 0);
    }
    resolveLevel();
    refreshSections();
    if (!analysis.hasBeats())
        m_editor.setMsg(analysis.reason.isEmpty() ? QStringLiteral("No beats found") : analysis.reason);
    else if (!m_grid.steady())
        m_editor.setMsg(QStringLiteral("No steady beat"));
    else
        noteLeftOut(dropped);
    emit analysed();
}

void BeatAssist::refreshSections()
{
    if (!m_strip)
        return;
    std::vector<double> starts;
    const RowTable& grid = m_editor.Grid();
    starts.reserve(size_t(std::max(0, m_editor.lastRow())));
    for (int r = 1; r <= m_editor.lastRow(); ++r) {
        if (const std::optional<int>& start = grid.row(r).start)
            starts.push_back(*start);
    }
    m_strip->setSectionStarts(std::move(starts));
}

// ---- commands ------------------------------------------------------------------------------

void BeatAssist::beatSplitCommand()
{
    Sections& sections = m_editor.sections();
    if (m_editor.sndFile().isEmpty()) {
        sections.SndBeatSplit({}); // says that a sound clip is needed
        return;
    }
    if (!m_analysis->hasBeats()) {
        m_editor.setMsg(m_analysis->reason.isEmpty() ? QStringLiteral("No beats found") : m_analysis->reason);
        return;
    }
    if (m_beats.empty()) {
        m_editor.setMsg(QStringLiteral("No steady beat"));
        return;
    }
    const std::optional<QString> answer = m_editor.ui().inputBox(
        QStringLiteral("ビートで区間分割"),
        QStringLiteral("何拍ごとに区間を分割するか入力してください(1, 2, 4, 8)。") + QStringLiteral("\r\n\r\n") +
            QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲(選択がなければ選択行から最後まで)を分割します。"),
        QStringLiteral("4"));
    if (!answer)
        return;
    bool ok = false;
    const int every = answer->trimmed().toInt(&ok);
    if (!ok || (every != 1 && every != 2 && every != 4 && every != 8))
        return;
    const Sections::Range range = sections.beatSplitRange();
    // On the bar lines the strip shows, not counted from the start of the range.
    sections.SndBeatSplit(barSplitPoints(m_beats, m_bars, range.fromMs, range.toMs, every));
}

// ---- corrections by hand -------------------------------------------------------------------

QByteArray BeatAssist::soundKey()
{
    if (!m_soundKeyKnown && !m_editor.sndFile().isEmpty()) {
        m_soundKey = AnalysisCache::contentKey(m_editor.sndFile());
        m_soundKeyKnown = true;
    }
    return m_soundKey;
}

void BeatAssist::setCorrections(const GridCorrections& corrections, bool store)
{
    m_corrections = corrections;
    m_correctionBytes = corrections.toBytes();
    if (store)
        m_cache.storeCorrections(soundKey(), m_correctionBytes);
    resolveLevel();
}

void BeatAssist::startFromCorrections(const GridCorrections& corrections, bool store)
{
    setCorrections(corrections, store);
    m_editor.history().setPartBaseline(m_correctionsPart);
}

void BeatAssist::noteLeftOut(size_t dropped)
{
    if (dropped > 0)
        m_editor.setMsg(QStringLiteral("ビートグリッドの修正が多すぎるため、最初の%1件だけを使います")
                            .arg(GridCorrections::kMaxEdits));
    else if (m_heldBack > 0)
        m_editor.setMsg(
            QStringLiteral("ビートの間隔が%1msより狭くなるビートは加えていません").arg(kMinCorrectedBeatMs));
}

void BeatAssist::addCorrection(const GridEdit& edit)
{
    if (m_beats.empty()) {
        m_editor.setMsg(QStringLiteral("No beats to correct"));
        return;
    }
    if (m_corrections.edits.size() >= GridCorrections::kMaxEdits) {
        m_editor.setMsg(QStringLiteral("ビートグリッドの修正は%1件までです").arg(GridCorrections::kMaxEdits));
        return;
    }
    GridCorrections next = m_corrections;
    next.edits.push_back(edit);
    const CorrectedGrid grid = gridFor(next);
    const bool held = grid.heldBack > m_heldBack;
    if (held && grid.beats == m_beats && grid.bars == m_bars) {
        // It would change nothing: every beat it would add comes too close.
        m_editor.setMsg(QStringLiteral("ビートの間隔が%1msより狭くなるため、修正できません").arg(kMinCorrectedBeatMs));
        return;
    }
    m_editor.history().SaveUndoData();
    setCorrections(next, true);
    m_editor.setModified(true);
    m_editor.notifyHistory();
    if (held)
        m_editor.setMsg(
            QStringLiteral("ビートの間隔が%1msより狭くなるビートは加えていません").arg(kMinCorrectedBeatMs));
}

void BeatAssist::moveBeat(double beatMs, double toMs, bool onlyFrom)
{
    if (m_pendingTempo) {
        // The tempo from the waiting beat: the dragged beat, so many beats on, goes to toMs.
        const double from = *m_pendingTempo;
        const auto a = std::lower_bound(m_beats.begin(), m_beats.end(), from - 0.5);
        const auto b = std::lower_bound(m_beats.begin(), m_beats.end(), beatMs - 0.5);
        const long count = long(b - a);
        if (count >= 1 && toMs > from) {
            m_pendingTempo.reset();
            addCorrection({GridEdit::Kind::TempoFrom, from, (toMs - from) / double(count)});
            return;
        }
        m_editor.setMsg(QStringLiteral("テンポ変更: 始めのビートより後のビートをドラッグしてください"));
        return;
    }
    const double delta = toMs - beatMs;
    if (delta == 0.0)
        return;
    addCorrection({onlyFrom ? GridEdit::Kind::ShiftFrom : GridEdit::Kind::Shift, beatMs, delta});
}

void BeatAssist::gridCommand(WaveformStrip::GridCommand command, double beatMs)
{
    switch (command) {
    case WaveformStrip::GridCommand::BarStart:
        addCorrection({GridEdit::Kind::BarStart, beatMs, 0.0});
        break;
    case WaveformStrip::GridCommand::DoubleTempo:
        addCorrection({GridEdit::Kind::Double, beatMs, 0.0});
        break;
    case WaveformStrip::GridCommand::HalfTempo:
        addCorrection({GridEdit::Kind::Half, beatMs, 0.0});
        break;
    case WaveformStrip::GridCommand::TempoFrom:
        if (m_beats.empty())
            return;
        m_pendingTempo = beatMs;
        if (m_strip)
            m_strip->setPendingTempo(m_pendingTempo);
        m_editor.setMsg(QStringLiteral("テンポ変更: 次にドラッグするビートの位置でテンポが決まります"));
        break;
    case WaveformStrip::GridCommand::Reset:
        m_pendingTempo.reset();
        if (m_strip)
            m_strip->setPendingTempo(std::nullopt);
        if (m_corrections.empty())
            return;
        m_editor.history().SaveUndoData();
        setCorrections(GridCorrections(), true);
        m_editor.setModified(true);
        m_editor.notifyHistory();
        break;
    }
}

void BeatAssist::projectGridLoaded(const QByteArray& key, const QByteArray& corrections, bool present)
{
    // The project's corrections replace the cache's; a project without them leaves the
    // cache's to the analysis.
    if (!present)
        return;
    if (key != soundKey()) {
        m_editor.setMsg(QStringLiteral("音声ファイルの内容が変わったため、ビートグリッドの修正を破棄しました"));
        return;
    }
    size_t dropped = 0;
    const std::optional<GridCorrections> c = GridCorrections::fromBytes(corrections, &dropped);
    if (!c) {
        m_editor.setMsg(QStringLiteral("ビートグリッドの修正が読めないため、破棄しました"));
        return;
    }
    m_correctionsGiven = true;
    startFromCorrections(*c, true);
    noteLeftOut(dropped);
}

void BeatAssist::calibrateCommand()
{
    auto* dialog = new TapCalibration(m_clickPlayers, m_latencyMs, m_slider ? m_slider->window() : nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &TapCalibration::latencyChosen, this, [this](double ms) { setLatencyMs(ms); });
    dialog->open();
}

// ---- layout --------------------------------------------------------------------------------

void BeatAssist::placeStrip()
{
    if (!m_strip || !m_slider)
        return;
    const int top = m_slider->y() + m_slider->height();
    if (m_strip->geometry().isEmpty() || m_strip->y() != top) {
        // The first time: the controls below the slider move down to make room.
        if (!m_strip->property("placed").toBool()) {
            for (QObject* o : m_slider->parentWidget()->children()) {
                auto* w = qobject_cast<QWidget*>(o);
                if (w && w != m_strip && w != m_slider && w->y() >= top)
                    w->move(w->x(), w->y() + kStripHeight);
            }
            m_strip->setProperty("placed", true);
        }
    }
    m_strip->setGeometry(m_slider->x(), top, m_slider->width(), kStripHeight);
}

bool BeatAssist::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: while the slider is being destroyed it is no longer a QSlider, and
    // its last events must not be compared through the slider's type.
    if ((event->type() == QEvent::Resize || event->type() == QEvent::Move) && watched == m_slider)
        placeStrip();
    return QObject::eventFilter(watched, event);
}

} // namespace vk
