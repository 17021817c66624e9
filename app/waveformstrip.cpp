#include "app/waveformstrip.h"

#include "media/analysis/beatlevel.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vk {

namespace {

// The narrowest view the wheel zooms to.
constexpr double kMinSpanMs = 1000.0;

const QColor kBackground(24, 28, 36);
const QColor kWave(90, 170, 230);
const QColor kSection(255, 170, 40);
const QColor kBeat(200, 200, 200);
const QColor kBar(255, 255, 255);
const QColor kPlay(240, 60, 60);
const QColor kTempo(120, 230, 120);
const QColor kDrag(255, 230, 80);

// The index range of the ascending times inside [from, to].
std::pair<size_t, size_t> visible(const std::vector<double>& times, double from, double to)
{
    const auto a = std::lower_bound(times.begin(), times.end(), from);
    const auto b = std::upper_bound(a, times.end(), to);
    return {size_t(a - times.begin()), size_t(b - times.begin())};
}

} // namespace

WaveformStrip::WaveformStrip(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("waveformStrip"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void WaveformStrip::setAnalysis(std::shared_ptr<const AudioAnalysis> analysis, double durationMs)
{
    m_analysis = std::move(analysis);
    m_duration = std::max(0.0, durationMs);
    if (m_duration <= 0.0 && m_analysis)
        m_duration = m_analysis->durationMs;
    m_from = 0.0;
    m_to = m_duration;
    update();
}

void WaveformStrip::setBeats(std::vector<double> beatsMs, std::vector<double> downbeatsMs)
{
    m_beats = std::move(beatsMs);
    m_downbeats = std::move(downbeatsMs);
    m_bpm = beatsPerMinute(m_beats);
    update();
}

void WaveformStrip::setSegments(std::vector<TempoSegment> segments)
{
    m_segments = std::move(segments);
    update();
}

void WaveformStrip::setPendingTempo(std::optional<double> beatMs)
{
    m_pendingTempo = beatMs;
    update();
}

std::optional<double> WaveformStrip::nearestBeat(double ms) const
{
    if (m_beats.empty())
        return std::nullopt;
    auto it = std::lower_bound(m_beats.begin(), m_beats.end(), ms);
    if (it == m_beats.end())
        return m_beats.back();
    if (it != m_beats.begin() && ms - *(it - 1) < *it - ms)
        --it;
    return *it;
}

std::optional<double> WaveformStrip::beatNear(double x, int width) const
{
    const std::optional<double> beat = nearestBeat(msAt(x, width));
    if (beat && std::fabs(xAt(*beat, width) - x) <= kGrabPixels)
        return beat;
    return std::nullopt;
}

void WaveformStrip::fillContextMenu(QMenu& menu, double ms)
{
    const std::optional<double> beat = nearestBeat(ms);
    const double at = beat.value_or(ms);
    auto add = [&](const QString& text, const char* name, GridCommand command, bool needsBeat) {
        QAction* a = menu.addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        a->setEnabled(!needsBeat || beat.has_value());
        connect(a, &QAction::triggered, this, [this, command, at] { emit gridCommand(command, at); });
    };
    add(QStringLiteral("ここを小節の頭に"), "gridBarStart", GridCommand::BarStart, true);
    add(QStringLiteral("テンポを2倍"), "gridDouble", GridCommand::DoubleTempo, true);
    add(QStringLiteral("テンポを半分"), "gridHalf", GridCommand::HalfTempo, true);
    add(QStringLiteral("ここからテンポ変更"), "gridTempoFrom", GridCommand::TempoFrom, true);
    menu.addSeparator();
    add(QStringLiteral("グリッドをリセット"), "gridReset", GridCommand::Reset, false);
}

void WaveformStrip::setSectionStarts(std::vector<double> startsMs)
{
    m_starts = std::move(startsMs);
    std::sort(m_starts.begin(), m_starts.end());
    update();
}

void WaveformStrip::setPosition(double ms, bool playing)
{
    if (ms == m_position)
        return;
    m_position = ms;
    const double span = m_to - m_from;
    if (playing && span > 0.0 && span < m_duration && (ms < m_from || ms >= m_to)) {
        // A page on, with a little of the page before still in sight.
        const double from = std::clamp(ms - span * 0.1, 0.0, m_duration - span);
        m_from = from;
        m_to = from + span;
    }
    update();
}

void WaveformStrip::setProgress(double fraction)
{
    m_progress = fraction;
    update();
}

void WaveformStrip::setView(double fromMs, double toMs)
{
    if (m_duration <= 0.0)
        return;
    double span = std::clamp(toMs - fromMs, std::min(kMinSpanMs, m_duration), m_duration);
    const double from = std::clamp(fromMs, 0.0, m_duration - span);
    m_from = from;
    m_to = from + span;
    update();
}

double WaveformStrip::msAt(double x, int width) const
{
    if (width <= 0)
        return m_from;
    return m_from + (m_to - m_from) * x / width;
}

double WaveformStrip::xAt(double ms, int width) const
{
    const double span = m_to - m_from;
    if (span <= 0.0)
        return 0.0;
    return (ms - m_from) * width / span;
}

void WaveformStrip::render(QPainter& p, const QRect& rect) const
{
    p.save();
    p.setClipRect(rect);
    p.translate(rect.topLeft());
    const int w = rect.width();
    const int h = rect.height();
    p.fillRect(QRect(0, 0, w, h), kBackground);
    // The beats get a lane of their own at the bottom, so the waveform never hides them.
    const int lane = std::clamp(h / 5, 4, 14);
    const int waveH = h - lane;
    const double mid = waveH / 2.0;

    // The waveform: one min/max line per pixel column.
    if (m_analysis && !m_analysis->peaks.isEmpty() && m_to > m_from && w > 0) {
        const std::vector<PeakPair> cols = m_analysis->peaks.columns(m_from, m_to, w);
        const double scale = std::max(0.0, waveH / 2.0 - 2.0) / 32767.0;
        QVector<QLineF> lines;
        lines.reserve(int(cols.size()));
        for (int x = 0; x < int(cols.size()); ++x) {
            const double top = mid - cols[size_t(x)].max * scale;
            const double bottom = mid - cols[size_t(x)].min * scale;
            lines.append(QLineF(x + 0.5, top, x + 0.5, std::max(bottom, top + 1.0)));
        }
        p.setPen(QPen(kWave, 1));
        p.drawLines(lines);
    }

    if (m_to > m_from) {
        // Section starts: full-height lines.
        auto [s0, s1] = visible(m_starts, m_from, m_to);
        p.setPen(QPen(kSection, 1));
        for (size_t i = s0; i < s1; ++i) {
            const double x = std::floor(xAt(m_starts[i], w)) + 0.5;
            p.drawLine(QLineF(x, 0, x, h));
        }
        // Beats: ticks across the bottom lane; the bars' first beats wider and brighter,
        // reaching a little into the waveform.
        auto [b0, b1] = visible(m_beats, m_from, m_to);
        for (size_t i = b0; i < b1; ++i) {
            const bool bar = std::binary_search(m_downbeats.begin(), m_downbeats.end(), m_beats[i]);
            const double x = std::floor(xAt(m_beats[i], w)) + 0.5;
            p.setPen(QPen(bar ? kBar : kBeat, bar ? 3 : 1));
            p.drawLine(QLineF(x, h, x, bar ? waveH - lane * 0.5 : waveH + 1));
        }
        // Tempo changes by hand: a marker and the BPM at each segment's start.
        if (m_segments.size() > 1) {
            for (const TempoSegment& seg : m_segments) {
                if (seg.fromMs > m_to)
                    continue;
                const double x = std::floor(xAt(std::max(seg.fromMs, m_from), w)) + 0.5;
                p.setPen(QPen(kTempo, 2, Qt::DashLine));
                if (seg.fromMs >= m_from)
                    p.drawLine(QLineF(x, 0, x, h));
                p.setPen(kTempo);
                p.drawText(QRectF(x + 3, h - lane - 16, 90, 15), Qt::AlignLeft | Qt::AlignVCenter,
                           QStringLiteral("%1 BPM").arg(seg.bpm, 0, 'f', 1));
            }
        }
        // The beat a tempo change waits on, and a beat being dragged.
        if (m_pendingTempo && *m_pendingTempo >= m_from && *m_pendingTempo <= m_to) {
            const double x = std::floor(xAt(*m_pendingTempo, w)) + 0.5;
            p.setPen(QPen(kTempo, 3));
            p.drawLine(QLineF(x, waveH - lane, x, h));
        }
        if (m_dragBeat) {
            const double x = std::floor(xAt(m_dragTo, w)) + 0.5;
            p.setPen(QPen(kDrag, 2));
            p.drawLine(QLineF(x, 0, x, h));
        }
        // The play position.
        if (m_position >= m_from && m_position <= m_to) {
            const double x = std::floor(xAt(m_position, w)) + 0.5;
            p.setPen(QPen(kPlay, 1));
            p.drawLine(QLineF(x, 0, x, h));
        }
    }

    p.setPen(kBar);
    if (m_bpm > 0.0 && m_segments.size() <= 1)
        p.drawText(QRect(4, 1, w - 8, h - 2), Qt::AlignRight | Qt::AlignTop,
                   QStringLiteral("♩=%1").arg(m_bpm, 0, 'f', 1));
    if (m_progress >= 0.0) {
        const double f = std::clamp(m_progress, 0.0, 1.0);
        p.fillRect(QRectF(0, 0, w * f, 3), kWave);
        p.drawText(QRect(4, 1, w - 8, h - 2), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("%1%").arg(int(f * 100.0)));
    }
    p.restore();
}

void WaveformStrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    render(p, rect());
}

void WaveformStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_duration <= 0.0) {
        QWidget::mousePressEvent(event);
        return;
    }
    const double x = event->position().x();
    // Beat ticks are grabbed in their lane (and a little above it); elsewhere a press seeks.
    const int lane = std::clamp(height() / 5, 4, 14);
    const std::optional<double> beat =
        event->position().y() >= height() - 2 * lane ? beatNear(x, width()) : std::nullopt;
    if (beat) {
        m_dragBeat = beat;
        m_dragTo = *beat;
        m_dragOffset = *beat - msAt(x, width());
        setCursor(Qt::SizeHorCursor);
        event->accept();
        return;
    }
    const double ms = std::clamp(msAt(x, width()), 0.0, m_duration);
    emit seekRequested(ms);
    event->accept();
}

void WaveformStrip::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragBeat) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    m_dragTo = std::clamp(msAt(event->position().x(), width()) + m_dragOffset, 0.0, m_duration);
    update();
    event->accept();
}

void WaveformStrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragBeat || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const double beat = *m_dragBeat;
    m_dragBeat.reset();
    unsetCursor();
    const double to = std::clamp(msAt(event->position().x(), width()) + m_dragOffset, 0.0, m_duration);
    update();
    event->accept();
    // A press on a tick that did not move is a click: it seeks to the beat.
    if (std::fabs(xAt(to, width()) - xAt(beat, width())) < 1.0) {
        emit seekRequested(beat);
        return;
    }
    emit beatDragged(beat, to, event->modifiers().testFlag(Qt::ShiftModifier));
}

void WaveformStrip::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_duration <= 0.0) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    fillContextMenu(menu, msAt(event->pos().x(), width()));
    menu.exec(event->globalPos());
    event->accept();
}

void WaveformStrip::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y();
    if (steps == 0 || m_duration <= 0.0) {
        event->ignore();
        return;
    }
    // The time under the mouse stays under the mouse.
    const double x = event->position().x();
    const double at = msAt(x, width());
    const double factor = std::pow(0.8, steps / 120.0);
    const double span = std::clamp((m_to - m_from) * factor, std::min(kMinSpanMs, m_duration), m_duration);
    const double from = at - span * (width() > 0 ? x / width() : 0.0);
    setView(from, from + span);
    event->accept();
}

} // namespace vk
