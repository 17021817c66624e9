#pragma once
// The tap latency calibration: plays a click track at 120 BPM (made in code and written
// to a temporary WAV file for a player of the editor's media engine) and the user taps
// A (or the tap button) along with it for 16 beats. Each tap reads the player's
// position, as a tap of a section does, so what is measured is exactly what is later
// subtracted: the median of the taps' distances to their clicks (late taps positive).
// "リセット" sets the latency back to 0.

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;

namespace vk {

class MediaPlayerEngine;

class TapCalibration final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TapCalibration)

public:
    using EngineFactory = std::function<std::unique_ptr<MediaPlayerEngine>()>;
    static constexpr int kBeats = 16;
    static constexpr double kBpm = 120.0;

    TapCalibration(EngineFactory players, double currentLatencyMs, QWidget* parent = nullptr);
    ~TapCalibration() override;

    // Starts the click track (again) and forgets the taps so far.
    void start();
    // One tap at the click player's position now.
    void tap();
    int tapCount() const { return int(m_taps.size()); }
    const std::vector<double>& clicksMs() const { return m_clicks; }
    // The click track file written by start(); empty before.
    const QString& trackPath() const { return m_trackPath; }

signals:
    // The measured latency (after the 16th tap) or 0 (reset).
    void latencyChosen(double ms);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finish();
    void stopPlayer();
    void showLatency(double ms);

    EngineFactory m_players;
    std::unique_ptr<MediaPlayerEngine> m_player;
    std::vector<double> m_clicks;
    std::vector<double> m_taps;
    QString m_trackPath;
    QLabel* m_status = nullptr;
    QLabel* m_result = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_tap = nullptr;
};

// Writes mono 16-bit PCM as a WAV file; false when the file cannot be written.
bool WriteWavFile(const QString& path, const std::vector<short>& pcm, int sampleRate);

} // namespace vk
