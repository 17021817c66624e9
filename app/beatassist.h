#pragma once
// The beat assist of the main window: analyses every sound clip that loads (on the
// analysis worker's thread; a clip analysed before comes from the cache at once), shows
// the result in the waveform strip under the sound slider, and offers in the edit menu:
// - "ビートに吸着": taps near a beat (or, without a beat near, an onset) start their
//   section on it. The beats are taken at the level of the user's own taps once there
//   are a few of them.
// - "ビートで区間分割": cuts the dragged sections (or the current one to the end) every
//   1, 2, 4 or 8 beats, in one step undo takes back.
// - tap latency calibration: the measured latency is subtracted from every tap.
// The grid can be corrected by hand in the strip (drag a beat tick; the strip's context
// menu): the corrections (GridCorrections) are part of the document for undo (each change
// one step), are kept in the analysis cache beside the file's analysis, and go into the
// project file; corrections for a sound file whose content changed are dropped with a
// note in the status line. The corrections a project or the cache brings are where the
// document starts: no undo step takes them back. A list holds at most
// GridCorrections::kMaxEdits edits, and no correction brings beats closer than
// kMinCorrectedBeatMs; what a file held beyond that is left out with a note in the
// status line.
// Snapping, its window and the latency are kept in the settings store. With snapping off
// and no latency measured a tap is used exactly as read, and a clip without beats leaves
// taps alone (a short note in the status line says why).

#include "app/waveformstrip.h"
#include "media/analysis/analysiscache.h"
#include "media/analysis/beatanalysis.h"
#include "timeline/beatgrid.h"
#include "timeline/gridcorrections.h"
#include "timeline/tapadjuster.h"

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QSlider>

#include <functional>
#include <memory>
#include <vector>

class QMenu;

namespace vk {

class AnalysisWorker;
class Editor;
class MediaPlayerEngine;
class SettingsStore;
class SoundPanel;

class BeatAssist final : public QObject, public TapAdjuster {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BeatAssist)

public:
    using EngineFactory = std::function<std::unique_ptr<MediaPlayerEngine>()>;

    // Strip height in pixels; the controls below the slider move down by it.
    static constexpr int kStripHeight = 56;
    // Taps that resolve the beat level: from this many on, and the last kLevelTaps used.
    static constexpr int kMinLevelTaps = 4;
    static constexpr int kLevelTaps = 16;

    // Puts the strip under `slider` (moving the controls below it down), adds its items
    // to `editMenu` and attaches itself to the editor's sections as their tap adjuster.
    // `clickPlayers` makes the player of the calibration's click track.
    BeatAssist(Editor& editor, SoundPanel& sound, SettingsStore& settings, QSlider* slider, QMenu* editMenu,
               EngineFactory clickPlayers, QObject* parent = nullptr);
    ~BeatAssist() override;

    double adjustTap(double playerMs) override;

    bool snapOn() const { return m_snapOn; }
    void setSnapOn(bool on);
    double snapWindowMs() const { return m_windowMs; }
    double latencyMs() const { return m_latencyMs; }
    void setLatencyMs(double ms);

    // The analysis shown and snapped to (empty before the first clip's analysis ends).
    const AudioAnalysis& analysis() const { return *m_analysis; }
    // Takes an analysis as the worker's result for the clip loaded now.
    void setAnalysis(const AudioAnalysis& analysis);
    // The beats at the level in use, after the corrections by hand: what the strip
    // shows, the snapping snaps to and the beat split cuts at.
    const std::vector<double>& beats() const { return m_beats; }
    // The bars' first beats among them.
    const std::vector<double>& bars() const { return m_bars; }
    const std::vector<TempoSegment>& segments() const { return m_segments; }
    const GridCorrections& corrections() const { return m_corrections; }

    // The grid corrections by hand, each one undo step. moveBeat: the beat at beatMs
    // goes to toMs with the whole grid, or with onlyFrom the beats from it on; while a
    // tempo change waits for its tempo (gridCommand TempoFrom), the drag of a later
    // beat sets it instead.
    void moveBeat(double beatMs, double toMs, bool onlyFrom);
    void gridCommand(WaveformStrip::GridCommand command, double beatMs);
    // The beat a tempo change waits on.
    std::optional<double> pendingTempo() const { return m_pendingTempo; }

    WaveformStrip* strip() const { return m_strip; }
    AnalysisWorker& worker() { return *m_worker; }

    // The menu commands.
    void beatSplitCommand();
    void calibrateCommand();

signals:
    // The analysis of the clip loaded last arrived (beats or not).
    void analysed();

private:
    void clipLoaded(const QString& path);
    void refreshSections();
    void resolveLevel();
    // The beats in use with these corrections on top.
    CorrectedGrid gridFor(const GridCorrections& corrections) const;
    void placeStrip();
    // Adds a correction as one undo step.
    void addCorrection(const GridEdit& edit);
    // Takes corrections as the document's (undo, loading); stores them in the cache.
    void setCorrections(const GridCorrections& corrections, bool store);
    // Takes corrections a project or the cache brought as where the document starts: no
    // undo step holds them.
    void startFromCorrections(const GridCorrections& corrections, bool store);
    // Says in the status line what the corrections leave out: `dropped` edits of a list
    // that was too long, or beats that would have come too close.
    void noteLeftOut(size_t dropped);
    QByteArray soundKey();
    void projectGridLoaded(const QByteArray& soundKey, const QByteArray& corrections, bool present);
    bool eventFilter(QObject* watched, QEvent* event) override;

    Editor& m_editor;
    SoundPanel& m_sound;
    SettingsStore& m_settings;
    EngineFactory m_clickPlayers;
    QPointer<QSlider> m_slider;
    QPointer<WaveformStrip> m_strip;
    QPointer<QAction> m_snapAction;
    std::unique_ptr<AnalysisWorker> m_worker;
    std::shared_ptr<const AudioAnalysis> m_analysis;
    BeatGrid m_grid;
    std::vector<double> m_beats;
    std::vector<double> m_bars;
    std::vector<TempoSegment> m_segments;
    GridCorrections m_corrections;
    QByteArray m_correctionBytes;    // m_corrections as text, what the undo history reads
    size_t m_correctionsPart = 0;    // their number among the undo history's parts
    int m_heldBack = 0;              // corrections that could not lay all their beats
    bool m_correctionsGiven = false; // by the project: the cache's are not read
    std::optional<double> m_pendingTempo;
    AnalysisCache m_cache;
    QByteArray m_soundKey; // of the sound file loaded, computed when first needed
    bool m_soundKeyKnown = false;
    std::vector<double> m_taps;
    bool m_snapOn = false;
    double m_windowMs = 60.0;
    double m_latencyMs = 0.0;
};

} // namespace vk
