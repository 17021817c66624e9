#include "writer/previewwindow.h"

#include <mlt++/Mlt.h>

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vk {

VideoView::VideoView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
}

void VideoView::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void VideoView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (m_image.isNull())
        return;
    QSize s = m_image.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target((width() - s.width()) / 2, (height() - s.height()) / 2, s.width(), s.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, m_image);
}

namespace {

void onFrameShow(mlt_properties, void* self, mlt_event_data data)
{
    static_cast<PreviewWindow*>(self)->frameShown(mlt_event_data_to_frame(data));
}

QString timeText(int frame, const Mlt::Profile& profile)
{
    const double fps = profile.fps() > 0 ? profile.fps() : 30;
    const qint64 ms = qint64(frame / fps * 1000 + 0.5);
    return QStringLiteral("%1:%2.%3")
        .arg(ms / 60000)
        .arg((ms / 1000) % 60, 2, 10, QLatin1Char('0'))
        .arg((ms % 1000) / 10, 2, 10, QLatin1Char('0'));
}

} // namespace

PreviewWindow::PreviewWindow(Mlt::Profile& profile, std::string engineXml, FrameRange range, QWidget* parent)
    : QWidget(parent), m_profile(profile), m_xml(std::move(engineXml)), m_range(range)
{
    setWindowTitle(QStringLiteral("T-VideoWrite - プレビュー"));
    auto* layout = new QVBoxLayout(this);
    m_view = new VideoView(this);
    // Show square pixels at the picture's display shape.
    const int w = profile.width() * profile.sample_aspect_num() / std::max(1, profile.sample_aspect_den());
    m_view->setHint(QSize(w, profile.height()));
    layout->addWidget(m_view, 1);
    auto* controls = new QHBoxLayout;
    m_play = new QPushButton(QStringLiteral("一時停止"), this);
    m_play->setFocusPolicy(Qt::NoFocus);
    m_play->setToolTip(QStringLiteral("再生／一時停止 (Space)"));
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setFocusPolicy(Qt::NoFocus);
    close->setToolTip(QStringLiteral("閉じる (Esc)"));
    m_position = new QLabel(this);
    m_position->setMinimumWidth(200);
    controls->addWidget(m_play);
    controls->addWidget(m_position, 1);
    controls->addWidget(close);
    layout->addLayout(controls);
    connect(m_play, &QPushButton::clicked, this, &PreviewWindow::togglePause);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(this, &PreviewWindow::frameReady, this, &PreviewWindow::onFrameReady, Qt::QueuedConnection);
    connect(
        this, &PreviewWindow::ended, this,
        [this] {
            m_ended = true;
            // Leave the last picture up for a moment, then go.
            QTimer::singleShot(250, this, &QWidget::close);
        },
        Qt::QueuedConnection);
    setFocusPolicy(Qt::StrongFocus);
    showFrame(int(m_range.in));
}

PreviewWindow::~PreviewWindow()
{
    stopEngine();
}

bool PreviewWindow::start(std::string& error)
{
    m_producer = std::make_unique<Mlt::Producer>(m_profile, "xml-string", m_xml.c_str());
    if (!m_producer->is_valid()) {
        error = "描画エンジンがタイムラインを読み込めません。";
        return false;
    }
    m_producer->set_in_and_out(int(m_range.in), int(m_range.out));
    m_producer->seek(0);
    // Sound output paces the preview. Without a sound device (a server with
    // no sound, Xvfb) SDL's dummy driver keeps the same pace silently.
    m_consumer = std::make_unique<Mlt::Consumer>(m_profile, "sdl2_audio");
    if (!m_consumer->is_valid()) {
        error = "描画エンジンにプレビュー用の音声出力がありません。";
        return false;
    }
    m_consumer->set("real_time", 1);
    m_consumer->set("terminate_on_pause", 0);
    m_consumer->set("rescale", "bilinear");
    m_consumer->set("volume", 1.0);
    m_showEvent = m_consumer->listen("consumer-frame-show", this, reinterpret_cast<mlt_listener>(onFrameShow));
    m_consumer->connect(*m_producer);
    if (m_consumer->start() != 0) {
        error = "プレビューの音声出力を開始できません。";
        return false;
    }
    m_producer->set_speed(1);
    return true;
}

void PreviewWindow::frameShown(void* framePtr)
{
    auto frame = static_cast<mlt_frame>(framePtr);
    if (!frame)
        return;
    const int position = mlt_frame_get_position(frame);
    // While paused only the held picture is shown. Frames the engine rendered
    // ahead at normal speed before the pause (one in the hands of its render
    // thread, which the purge does not reach, and those in the sound output's
    // own queue) still come out afterwards with later positions; shown, they
    // would move the read-out forward and, once the held frames follow, back.
    const int hold = m_holdAt.load();
    if (hold >= 0 && (position != hold || mlt_properties_get_double(MLT_FRAME_PROPERTIES(frame), "_speed") != 0.0))
        return;
    m_lastShown.store(position);
    mlt_image_format format = mlt_image_rgb;
    int w = m_profile.width(), h = m_profile.height();
    uint8_t* image = nullptr;
    if (mlt_frame_get_image(frame, &image, &format, &w, &h, 0) == 0 && image && format == mlt_image_rgb) {
        QImage copy(w, h, QImage::Format_RGB888);
        for (int y = 0; y < h; ++y)
            std::memcpy(copy.scanLine(y), image + size_t(y) * w * 3, size_t(w) * 3);
        QMutexLocker lock(&m_lock);
        m_pending = copy;
    }
    emit frameReady(position);
    // Shown frames carry their timeline position.
    if (position >= m_range.out && !m_endSignalled.exchange(true))
        emit ended();
}

void PreviewWindow::showFrame(int position)
{
    {
        QMutexLocker lock(&m_lock);
        if (!m_pending.isNull()) {
            m_view->setImage(m_pending);
            m_pending = QImage();
        }
    }
    const int frame = std::clamp(position, int(m_range.in), int(m_range.out));
    const QString text = timeText(frame, m_profile) + QStringLiteral(" / ") +
                         timeText(int(m_range.out + 1), m_profile) +
                         (m_paused ? QStringLiteral("（一時停止中）") : QString());
    if (!m_testKeys.empty() && text != m_position->text()) {
        // With test keys, every change of the read-out is reported too.
        std::printf("test position %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    }
    m_position->setText(text);
}

void PreviewWindow::togglePause()
{
    if (!m_producer)
        return;
    m_paused = !m_paused;
    // The engine's render thread takes a frame with the producer locked, and each
    // frame moves the producer on by its speed: under the lock, speed and place
    // change together, between two frames.
    m_producer->lock();
    if (m_paused) {
        // The engine renders ahead of what is shown: go back to the picture
        // on screen, so the pause holds it and playing on continues from it
        // instead of skipping the frames that were rendered but never shown.
        const int shown = m_lastShown.load();
        const int hold = shown >= 0 ? shown : int(m_range.in);
        m_holdAt.store(hold);
        m_producer->set_speed(0);
        m_producer->seek(hold - int(m_range.in));
    } else {
        m_holdAt.store(-1);
        m_producer->set_speed(1);
    }
    m_producer->unlock();
    if (m_paused) {
        // A picture rendered ahead and not yet on screen is not the held one.
        QMutexLocker lock(&m_lock);
        m_pending = QImage();
    }
    if (m_consumer) {
        m_consumer->purge();
        // Without a refresh the sound output does not start pulling frames
        // again after a pause.
        m_consumer->set("refresh", 1);
    }
    m_play->setText(m_paused ? QStringLiteral("再生") : QStringLiteral("一時停止"));
    showFrame(m_producer->frame());
}

void PreviewWindow::onFrameReady(int position)
{
    if (!m_firstFrameShown) {
        m_firstFrameShown = true;
        startTestKeys();
    }
    // A frame shown before the pause whose notice arrives after it.
    if (m_paused && position != m_holdAt.load())
        return;
    showFrame(position);
}

std::vector<PreviewWindow::TestKey> PreviewWindow::parseTestKeys(const std::string& list, std::string& error)
{
    std::vector<TestKey> keys;
    size_t at = 0;
    while (at <= list.size()) {
        const size_t comma = std::min(list.find(',', at), list.size());
        const std::string item = list.substr(at, comma - at);
        at = comma + 1;
        if (item.empty())
            continue;
        const size_t sign = item.find('@');
        TestKey k;
        k.name = item.substr(0, sign);
        const std::string ms = sign == std::string::npos ? std::string() : item.substr(sign + 1);
        const bool known = k.name == "space" || k.name == "esc" || k.name == "look";
        if (!known || ms.empty() || ms.find_first_not_of("0123456789") != std::string::npos || ms.size() > 7) {
            error = "test key entry not understood: " + item;
            return {};
        }
        k.afterMs = std::stoi(ms);
        keys.push_back(k);
    }
    return keys;
}

void PreviewWindow::setTestKeys(std::vector<TestKey> keys)
{
    m_testKeys = std::move(keys);
}

void PreviewWindow::startTestKeys()
{
    m_sinceFirstFrame.start();
    for (const TestKey& k : m_testKeys)
        QTimer::singleShot(k.afterMs, Qt::PreciseTimer, this, [this, k] { pressTestKey(k); });
}

void PreviewWindow::pressTestKey(const TestKey& k)
{
    // What the user sees at that moment, then the key, delivered like a real
    // one: to the widget with the keyboard focus (this window when none has).
    std::printf("test key %s at %lld ms: position %s | button %s\n", k.name.c_str(),
                static_cast<long long>(m_sinceFirstFrame.elapsed()), m_position->text().toUtf8().constData(),
                m_play->text().toUtf8().constData());
    std::fflush(stdout);
    if (k.name == "look")
        return;
    const bool space = k.name == "space";
    const int key = space ? Qt::Key_Space : Qt::Key_Escape;
    const QString text = space ? QStringLiteral(" ") : QString(QChar(0x1b));
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != this)
        target = this;
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

void PreviewWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        togglePause();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::closeEvent(QCloseEvent* event)
{
    stopEngine();
    event->accept();
}

void PreviewWindow::stopEngine()
{
    if (m_consumer && !m_consumer->is_stopped())
        m_consumer->stop();
    if (m_showEvent) {
        Mlt::Properties::delete_event(m_showEvent);
        m_showEvent = nullptr;
    }
    m_consumer.reset();
    m_producer.reset();
}

} // namespace vk
