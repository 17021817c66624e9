#include "app/tapcalibration.h"

#include "base/engineerror.h"
#include "base/logging.h"
#include "media/mediaplayerengine.h"
#include "timeline/beatsnap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtEndian>

namespace vk {

bool WriteWavFile(const QString& path, const std::vector<short>& pcm, int sampleRate)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const quint32 dataBytes = quint32(pcm.size() * 2);
    QByteArray header;
    auto u32 = [&header](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        header.append(b, 4);
    };
    auto u16 = [&header](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        header.append(b, 2);
    };
    header.append("RIFF", 4);
    u32(36 + dataBytes);
    header.append("WAVEfmt ", 8);
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(quint32(sampleRate));
    u32(quint32(sampleRate) * 2);
    u16(2);
    u16(16);
    header.append("data", 4);
    u32(dataBytes);
    QByteArray data(int(dataBytes), Qt::Uninitialized);
    for (size_t i = 0; i < pcm.size(); ++i)
        qToLittleEndian(qint16(pcm[i]), data.data() + i * 2);
    return file.write(header) == header.size() && file.write(data) == data.size();
}

TapCalibration::TapCalibration(EngineFactory players, double currentLatencyMs, QWidget* parent)
    : QDialog(parent), m_players(std::move(players))
{
    setObjectName(QStringLiteral("frmTapCalibration"));
    setWindowTitle(QStringLiteral("タップの遅れを測る"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(
        QStringLiteral("「開始」でクリック音が鳴ります。クリック音に合わせて A ｷｰを%1回押してください。").arg(kBeats),
        this);
    text->setWordWrap(true);
    layout->addWidget(text);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblTapCount"));
    layout->addWidget(m_status);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("lblLatency"));
    layout->addWidget(m_result);
    auto* buttons = new QHBoxLayout;
    m_start = new QPushButton(QStringLiteral("開始"), this);
    m_start->setObjectName(QStringLiteral("cmdStart"));
    m_tap = new QPushButton(QStringLiteral("タップ(A)"), this);
    m_tap->setObjectName(QStringLiteral("cmdTap"));
    auto* reset = new QPushButton(QStringLiteral("リセット"), this);
    reset->setObjectName(QStringLiteral("cmdReset"));
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* b : {m_start, m_tap, reset, close}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(m_start, &QPushButton::clicked, this, &TapCalibration::start);
    connect(m_tap, &QPushButton::pressed, this, &TapCalibration::tap);
    connect(reset, &QPushButton::clicked, this, [this] {
        stopPlayer();
        m_taps.clear();
        m_status->clear();
        showLatency(0.0);
        emit latencyChosen(0.0);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    m_tap->setEnabled(false);
    showLatency(currentLatencyMs);
}

TapCalibration::~TapCalibration()
{
    stopPlayer();
    if (!m_trackPath.isEmpty())
        QFile::remove(m_trackPath);
}

void TapCalibration::showLatency(double ms)
{
    m_result->setText(QStringLiteral("遅れ: %1 ms").arg(qRound(ms)));
}

void TapCalibration::start()
{
    stopPlayer();
    m_taps.clear();
    const ClickTrack track = makeClickTrack(kBpm, kBeats);
    m_clicks = track.clicksMs;
    if (m_trackPath.isEmpty())
        m_trackPath =
            QDir::temp().filePath(QStringLiteral("videokadro-click-%1.wav").arg(QCoreApplication::applicationPid()));
    if (!WriteWavFile(m_trackPath, track.pcm, track.sampleRate) || !m_players) {
        m_status->setText(QStringLiteral("クリック音を用意できません。"));
        return;
    }
    try {
        m_player = m_players();
        if (!m_player || m_player->Open(m_trackPath) == -1) {
            m_player.reset();
            m_status->setText(QStringLiteral("クリック音を再生できません。"));
            return;
        }
        m_player->SetVolume(0);
        m_player->Play(0);
    } catch (const EngineError&) {
        m_player.reset();
        m_status->setText(QStringLiteral("クリック音を再生できません。"));
        return;
    }
    m_tap->setEnabled(true);
    m_status->setText(QStringLiteral("0 / %1").arg(kBeats));
    setFocus();
}

void TapCalibration::tap()
{
    if (!m_player || int(m_taps.size()) >= kBeats)
        return;
    try {
        m_taps.push_back(m_player->GetPosition());
    } catch (const EngineError&) {
        return;
    }
    m_status->setText(QStringLiteral("%1 / %2").arg(m_taps.size()).arg(kBeats));
    if (int(m_taps.size()) == kBeats)
        finish();
}

void TapCalibration::finish()
{
    stopPlayer();
    m_tap->setEnabled(false);
    const double offset = medianTapOffset(m_taps, m_clicks);
    showLatency(offset);
    emit latencyChosen(offset);
}

void TapCalibration::stopPlayer()
{
    if (!m_player)
        return;
    try {
        m_player->Stop();
        m_player->Close();
    } catch (const EngineError& e) {
        // The dialog closes all the same; the player goes with it below.
        LogPassedOver(lcPlayer, "calibration: stop the click player", e);
    }
    m_player.reset();
}

void TapCalibration::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_A && !event->isAutoRepeat()) {
        tap();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vk
