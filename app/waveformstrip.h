#pragma once
// The waveform strip under the sound slider: the clip's waveform (from the analysis's
// peak pyramid, so a frame reads one pyramid slice per pixel column whatever the song's
// length), the section starts as lines, the beats as ticks (the bars' first beats
// taller), the tempo and the play position. While an analysis runs it shows its
// progress instead.
//
// A click seeks (seekRequested); the wheel zooms around the mouse; while playing the view
// follows the play position a page at a time. A press on a beat tick in the beat lane
// at the bottom (within a few pixels) drags it instead: the release asks to move the whole grid by the drag
// (beatDragged), with Shift only that beat and those after it. The context menu offers
// the grid commands on the beat nearest the click (gridCommand). Where the tempo was
// changed by hand, each tempo segment starts with a marker and its BPM. The strip only
// shows what it is given: the beat assist feeds it.

#include "media/analysis/beatanalysis.h"
#include "timeline/gridcorrections.h"

#include <QWidget>

#include <optional>

#include <memory>
#include <vector>

class QMenu;

namespace vk {

class WaveformStrip final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaveformStrip)

public:
    // The grid commands of the context menu.
    enum class GridCommand { BarStart, DoubleTempo, HalfTempo, TempoFrom, Reset };
    // How near (in pixels) a press must be to a beat tick to drag it.
    static constexpr int kGrabPixels = 4;

    explicit WaveformStrip(QWidget* parent = nullptr);

    // The analysis whose waveform is drawn (null: none) and the clip length in ms; the
    // view goes back to the whole clip.
    void setAnalysis(std::shared_ptr<const AudioAnalysis> analysis, double durationMs);
    // The beats to draw (at the metrical level in use) and the bars' first beats.
    void setBeats(std::vector<double> beatsMs, std::vector<double> downbeatsMs);
    // The tempo segments of a grid whose tempo was changed by hand (none or one: no marks).
    void setSegments(std::vector<TempoSegment> segments);
    // A beat the next drag sets a tempo from (marked while it waits), or none.
    void setPendingTempo(std::optional<double> beatMs);
    // Section starts in ms, ascending.
    void setSectionStarts(std::vector<double> startsMs);
    // The play position; while playing, a position outside the view moves the view.
    void setPosition(double ms, bool playing);
    // The analysis's progress, 0..1; negative when none runs.
    void setProgress(double fraction);

    double viewFrom() const { return m_from; }
    double viewTo() const { return m_to; }
    void setView(double fromMs, double toMs);
    double durationMs() const { return m_duration; }
    // Beats per minute from the median beat spacing; 0 without beats.
    double tempo() const { return m_bpm; }

    // Pixel column <-> time for a strip `width` pixels wide showing the current view.
    double msAt(double x, int width) const;
    double xAt(double ms, int width) const;

    // The beat whose tick is within kGrabPixels of column x, if any.
    std::optional<double> beatNear(double x, int width) const;
    // The beat nearest the time, if there are beats.
    std::optional<double> nearestBeat(double ms) const;
    // Fills the context menu for a click at time ms (what contextMenuEvent shows).
    void fillContextMenu(QMenu& menu, double ms);

    // Draws the strip into `rect` (also used offscreen by tests and the benchmark).
    void render(QPainter& painter, const QRect& rect) const;

signals:
    void seekRequested(double ms);
    // A beat tick dragged from beatMs to toMs: the whole grid moves, or with onlyFrom the
    // beat and those after it.
    void beatDragged(double beatMs, double toMs, bool onlyFrom);
    void gridCommand(vk::WaveformStrip::GridCommand command, double beatMs);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    std::shared_ptr<const AudioAnalysis> m_analysis;
    std::vector<double> m_beats;
    std::vector<double> m_downbeats;
    std::vector<double> m_starts;
    std::vector<TempoSegment> m_segments;
    std::optional<double> m_pendingTempo;
    std::optional<double> m_dragBeat; // the beat being dragged
    double m_dragTo = 0.0;
    double m_dragOffset = 0.0; // the beat's time less the time under the press
    double m_duration = 0.0;
    double m_from = 0.0;
    double m_to = 0.0;
    double m_position = 0.0;
    double m_progress = -1.0;
    double m_bpm = 0.0;
};

} // namespace vk
