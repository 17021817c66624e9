#pragma once
// The filmstrip under the video panel's slider, as the waveform strip is under the sound
// slider: the loaded movie's thumbnails side by side, its shot boundaries as marks
// (gradual transitions as shaded spans) and the play position. A click seeks
// (seekRequested); the wheel zooms around the mouse. It only shows what it is given.

#include "media/analysis/shotanalysis.h"

#include <QWidget>

#include <vector>

namespace vk {

class Filmstrip final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Filmstrip)

public:
    static constexpr int kHeight = 40;
    static constexpr QRgb kMarkColour = 0xffffd000;
    static constexpr QRgb kPositionColour = 0xffff3030;

    explicit Filmstrip(QWidget* parent = nullptr);

    // The shots and thumbnails of the movie; the view goes back to the whole movie.
    void setShots(const ShotAnalysis& analysis);
    void clear();
    // The analysis' share done, 0..1, drawn as a bar with its percentage over an empty
    // strip; below 0 when no analysis is running.
    void setProgress(double fraction);
    double progress() const { return m_progress; }
    // A line drawn over an empty strip, such as why the file has no shots.
    void setMessage(const QString& text);
    QString message() const { return m_message; }
    bool hasShots() const { return !m_thumbs.empty(); }
    void setPosition(double ms);
    double position() const { return m_position; }

    double durationMs() const { return m_duration; }
    double viewFrom() const { return m_from; }
    double viewTo() const { return m_to; }
    void setView(double fromMs, double toMs);
    // Zooms by `factor` (< 1 narrows the view) keeping the time at column x in place.
    void zoomAt(double x, double factor);

    double msAt(double x, int width) const;
    double xAt(double ms, int width) const;

    // Draws the strip into `rect` (also used offscreen by the tests).
    void render(QPainter& painter, const QRect& rect) const;

    QSize sizeHint() const override { return {400, kHeight}; }

signals:
    void seekRequested(double ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    std::vector<ShotThumb> m_thumbs;
    std::vector<double> m_boundaries;
    std::vector<std::pair<double, double>> m_transitions;
    double m_duration = 0.0;
    double m_from = 0.0;
    double m_to = 0.0;
    double m_position = 0.0;
    double m_progress = -1.0;
    QString m_message;
};

} // namespace vk
