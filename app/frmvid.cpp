#include "app/frmvid.h"

#include "app/filmstrip.h"
#include "app/rangeslider.h"
#include "base/keycodes.h"
#include "base/logging.h"
#include "base/numbers.h"
#include "base/settingsstore.h"
#include "base/speeds.h"
#include "base/twips.h"
#include "media/analysis/shotanalysis.h"
#include "media/mediaplayerengine.h"
#include "media/mpv/videowidget.h"
#include "media/videopanel.h"
#include "timeline/editor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>

namespace vk {

namespace {

// Placement defaults and margins of the layout rule, in twips.
constexpr int kDefaultLeft = 500;
constexpr int kDefaultTop = 500;
constexpr int kDefaultWidth = 6455;
constexpr int kDefaultHeight = 7845;
constexpr int kLeftMargin = 120;
constexpr int kPictureTop = 540;

int toTwips(int pixels)
{
    return PixelsToTwips(pixels);
}

int toPixels(int twips)
{
    return TwipsToPixels(twips);
}

} // namespace

frmVid::frmVid(Editor& editor, VideoPanel& panel, SettingsStore& settings, const QIcon& icon, QWidget* parent)
    : QWidget(parent, Qt::Window), m_editor(editor), m_panel(panel), m_settings(settings), m_panelAlive(&panel)
{
    setObjectName(QStringLiteral("frmVid"));
    setWindowTitle(QStringLiteral("映像登録ﾊﾟﾈﾙ"));
    setWindowIcon(icon);
    buildControls();
    m_panel.setVideoWindow(m_picMovie);
    connect(&m_panel, &VideoPanel::changed, this, &frmVid::refresh);
    // The shots of each movie loaded come from the analysis the application wires to
    // the panel and this window (see showShotsComing and showShots).
    m_filmstrip = new Filmstrip(this);
    m_filmstrip->hide();
    connect(m_filmstrip, &Filmstrip::seekRequested, this, [this](double ms) {
        m_panel.scrollTo(int(std::lround(ms)));
        focusSlider();
    });
    {
        QString snap;
        m_panel.setShotSnap(m_settings.RegValueRead(QStringLiteral("video_shot_snap"), snap) &&
                            snap == QLatin1String("1"));
    }
    m_panel.formLoad();
    loadPlacement();
    refresh();
}

frmVid::frmVid(Editor& editor, VideoPanel& panel, SettingsStore& settings, QWidget* mainWindow)
    : frmVid(editor, panel, settings, mainWindow ? mainWindow->windowIcon() : QIcon(), mainWindow)
{
}

frmVid::~frmVid()
{
    // The player must not keep drawing into a box that is gone.
    if (m_panelAlive) {
        m_panelAlive->setVideoWindow(nullptr);
        try {
            m_panelAlive->player().SetVideoWindow(nullptr);
        } catch (const EngineError& e) {
            LogPassedOver(lcPlayer, "release the video box", e);
        }
    }
}

// ---- placement -----------------------------------------------------------------------------

void frmVid::loadPlacement()
{
    bool ok = true;
    const int left = m_settings.readInt(QStringLiteral("video_left"), kDefaultLeft, &ok);
    const int leftTwips = ok ? left : kDefaultLeft;
    const int top = m_settings.readInt(QStringLiteral("video_top"), kDefaultTop, &ok);
    const int topTwips = ok ? top : kDefaultTop;
    const int width = m_settings.readInt(QStringLiteral("video_width"), kDefaultWidth, &ok);
    const int widthTwips = ok ? width : kDefaultWidth;
    const int height = m_settings.readInt(QStringLiteral("video_height"), kDefaultHeight, &ok);
    const int heightTwips = ok ? height : kDefaultHeight;
    // The value is applied first; a position left of or above the screen's origin then
    // goes back to the default.
    move(toPixels(leftTwips), toPixels(topTwips));
    if (x() < 0)
        move(toPixels(kDefaultLeft), y());
    if (y() < 0)
        move(x(), toPixels(kDefaultTop));
    resize(std::max(1, toPixels(widthTwips)), std::max(1, toPixels(heightTwips)));
}

void frmVid::savePlacement()
{
    m_settings.RegValueWrite(QStringLiteral("video_left"), toTwips(x()));
    m_settings.RegValueWrite(QStringLiteral("video_top"), toTwips(y()));
    m_settings.RegValueWrite(QStringLiteral("video_width"), toTwips(width()));
    m_settings.RegValueWrite(QStringLiteral("video_height"), toTwips(height()));
    m_settings.sync();
}

void frmVid::closeForShutdown()
{
    if (!m_unloading) {
        m_unloading = true;
        savePlacement();
    }
    close();
}

void frmVid::closeEvent(QCloseEvent* event)
{
    if (m_unloading) {
        event->accept();
        return;
    }
    if (m_editor.modified() &&
        !m_editor.ui().askYesNo(QStringLiteral("プロジェクトファイルが保存されていません。保存せずに終了しますか？"),
                                UserDialogs::Icon::Warning)) {
        event->ignore();
        return;
    }
    m_editor.setModified(false);
    m_unloading = true;
    savePlacement();
    event->accept();
    emit quitRequested();
}

// ---- layout --------------------------------------------------------------------------------

void frmVid::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isMinimized())
        return;
    layoutControls();
}

void frmVid::layoutControls()
{
    int W = toTwips(width());
    int H = toTwips(height());
    const int frameW = toTwips(m_frameVid->width());
    const int frameH = toTwips(m_frameVid->height());
    const int frameLeft = kLeftMargin;
    const int sliderH = toTwips(m_sliderVid->minimumHeight());

    const int minW = frameW + frameLeft + 200;
    const int minH = sliderH + frameH + 2500;
    setMinimumSize(toPixels(minW), toPixels(minH));
    bool grow = false;
    if (minW > W) {
        W = minW;
        grow = true;
    }
    if (minH > H) {
        H = minH;
        grow = true;
    }
    // The controls are laid out for the grown size at once: the window system may
    // confirm the new size without another resize event.
    if (grow)
        resize(toPixels(W), toPixels(H));

    layoutFileRow(toPixels(W));
    const int px = toPixels(kLeftMargin);
    const int rowH = m_txtVidFile->sizeHint().height();

    const int contentW = W - 280;
    const int frameTop = H - frameH - 600;
    // The filmstrip, once shown, sits between the slider and the buttons.
    const bool strip = m_filmstrip && !m_filmstrip->isHidden();
    const int stripH = strip ? toTwips(Filmstrip::kHeight + 4) : 0;
    const int sliderTop = frameTop - sliderH - stripH - 100;
    const int pictureTop = std::max(kPictureTop, toTwips(8 + rowH + 8));
    const int pictureH = sliderTop - pictureTop - 50;
    m_picVidPlay->setGeometry(px, toPixels(pictureTop), toPixels(contentW), std::max(1, toPixels(pictureH)));
    m_sliderVid->setGeometry(px, toPixels(sliderTop), toPixels(contentW), toPixels(sliderH));
    if (strip)
        m_filmstrip->setGeometry(px, toPixels(sliderTop + sliderH) + 2, toPixels(contentW), Filmstrip::kHeight);
    m_frameVid->move(toPixels(frameLeft), toPixels(frameTop));

    if (!m_panel.fileText().isEmpty()) {
        fitMovie();
        // Shows the picture at the slider's position again after the size change.
        m_panel.sliderVid_scroll();
    }
}

void frmVid::layoutFileRow(int windowW)
{
    const int px = toPixels(kLeftMargin);
    const int buttonW = m_cmdFileLoad->sizeHint().width();
    const int labelW = m_lblVidFile->sizeHint().width();
    const int rowH = m_txtVidFile->sizeHint().height();
    m_lblVidFile->setGeometry(px, 8, labelW, rowH);
    m_cmdFileLoad->setGeometry(windowW - px - buttonW, 8, buttonW, rowH);
    // The copy's bar, while shown, takes its width from the file box.
    const int barW = m_copyProgress->isHidden() ? 0 : 150;
    if (barW > 0)
        m_copyProgress->setGeometry(windowW - px - buttonW - 6 - barW, 8, barW, rowH);
    m_txtVidFile->setGeometry(px + labelW + 6, 8,
                              std::max(40, windowW - 2 * px - labelW - buttonW - 12 - (barW > 0 ? barW + 6 : 0)), rowH);
}

void frmVid::showCopyProgress(const QString& original, double fraction)
{
    if (original != m_panel.fileText())
        return;
    const bool wasHidden = m_copyProgress->isHidden();
    m_copyOf = original;
    m_copyProgress->setValue(int(std::clamp(fraction, 0.0, 1.0) * 100.0));
    if (wasHidden) {
        m_copyProgress->show();
        layoutFileRow(width());
    }
}

void frmVid::copyFinished(const QString& original)
{
    if (original != m_copyOf || m_copyProgress->isHidden())
        return;
    m_copyOf.clear();
    m_copyProgress->hide();
    layoutFileRow(width());
}

void frmVid::showShotsComing()
{
    // The strip shows the analysis' progress until its shots come. The load runs inside
    // a panel command: the layout waits for the event loop.
    const bool wasShown = !m_filmstrip->isHidden();
    m_filmstrip->clear();
    m_filmstrip->setProgress(0.0);
    m_filmstrip->show();
    if (!wasShown)
        QMetaObject::invokeMethod(
            this, [this] { layoutControls(); }, Qt::QueuedConnection);
}

void frmVid::showShotProgress(double fraction)
{
    if (m_filmstrip->progress() >= 0.0)
        m_filmstrip->setProgress(fraction);
}

void frmVid::showShots(const ShotAnalysis& analysis)
{
    // The strip stays where it is either way: the layout does not jump when the analysis
    // ends.
    m_filmstrip->setProgress(-1.0);
    if (analysis.ok() && !analysis.thumbs.empty()) {
        m_filmstrip->setShots(analysis);
        m_filmstrip->setPosition(m_panel.slider().value);
    } else {
        m_filmstrip->setMessage(QStringLiteral("ｼｮｯﾄ解析できません: ") +
                                (analysis.reason.isEmpty() ? QStringLiteral("No shots") : analysis.reason));
    }
}

QRect frmVid::fitMovieWindow(QSize picture, const QRect& box)
{
    if (picture.width() <= 0 || picture.height() <= 0 || box.width() <= 0 || box.height() <= 0)
        return box;
    const double a = double(picture.width()) / double(picture.height());
    const double W = box.width();
    const double H = box.height();
    double w = 0;
    double h = 0;
    if (W / H >= a) {
        h = H;
        w = H * a;
    } else {
        w = W;
        h = W / a;
    }
    const int width = RoundToInt32(w);
    const int height = RoundToInt32(h);
    const int left = RoundToInt32((W - width) / 2.0) + box.left();
    const int top = RoundToInt32((H - height) / 2.0) + box.top();
    return QRect(left, top, width, height);
}

void frmVid::fitMovie()
{
    const QRect box(0, 0, m_picVidPlay->width(), m_picVidPlay->height());
    m_picMovie->setGeometry(fitMovieWindow(m_panel.pictureSize(), box));
}

void frmVid::focusSlider()
{
    if (m_sliderVid->isVisible())
        m_sliderVid->setFocus(Qt::OtherFocusReason);
}

// ---- showing the controller's state --------------------------------------------------------

void frmVid::refresh()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    const VideoPanel::Controls& c = m_panel.controls();
    const VideoPanel::Slider& s = m_panel.slider();

    if (m_txtVidFile->text() != m_panel.fileText())
        m_txtVidFile->setText(m_panel.fileText());
    // Another file in the panel: the bar of the last one's copy goes.
    if (!m_copyOf.isEmpty() && m_copyOf != m_panel.fileText())
        copyFinished(m_copyOf);

    // A still has no shots: the strip of the movie before it goes.
    if (m_panel.isStill() && m_filmstrip && !m_filmstrip->isHidden()) {
        emit stillShown();
        m_filmstrip->clear();
        m_filmstrip->hide();
        QMetaObject::invokeMethod(
            this, [this] { layoutControls(); }, Qt::QueuedConnection);
    }

    m_picVidPlay->setVisible(true);
    m_picMovie->setVisible(c.pictureVisible);
    if (c.pictureVisible) {
        fitMovie();
        m_picMovie->raise();
    }

    {
        const QSignalBlocker block(m_sliderVid);
        m_sliderVid->setRange(s.min, std::max(s.min, s.max));
        m_sliderVid->setValue(s.value);
        m_sliderVid->setTickInterval(std::max(1, s.tick));
        m_sliderVid->setPageStep(std::max(1, s.tick * 10));
        m_sliderVid->setSingleStep(std::max(1, m_panel.frameInterval()));
    }
    m_sliderVid->setToolTip(m_panel.sliderToolTip());
    m_sliderVid->setVisible(c.sliderVisible);
    m_sliderVid->update();
    if (m_filmstrip)
        m_filmstrip->setPosition(m_panel.slider().value);

    const QIcon& icon = m_panel.timerActive() ? m_pauseIcon : m_playIcon;
    if (m_btnVidPlayPlause->icon().cacheKey() != icon.cacheKey())
        m_btnVidPlayPlause->setIcon(icon);
    m_btnVidPlayPlause->setVisible(c.playVisible);
    m_btnVidPlayPlause->setEnabled(c.movieEnabled);
    m_cmdSelStart->setVisible(c.selStartVisible);
    m_cmdSelStart->setEnabled(c.movieEnabled);
    m_cmdSelEnd->setVisible(c.selEndVisible);
    m_cmdSelEnd->setEnabled(c.movieEnabled);
    m_cmdSelStartJmp->setVisible(c.selStartJmpVisible);
    m_cmdSelStartJmp->setEnabled(c.movieEnabled);
    m_cmdSelEndJmp->setVisible(c.selEndJmpVisible);
    m_cmdSelEndJmp->setEnabled(c.movieEnabled);
    m_btnVidContReg->setVisible(c.contRegVisible);
    m_btnVidContReg->setEnabled(c.movieEnabled);
    m_btnVidReg->setVisible(c.regVisible);
    m_btnVidReg->setEnabled(c.regEnabled);

    m_chkMute->setVisible(c.muteVisible);
    m_chkMute->setChecked(m_panel.mute());
    m_ChkRange->setVisible(c.rangeCheckVisible);
    m_ChkRange->setChecked(m_panel.rangeStop());
    m_chkShotSnap->setVisible(c.rangeCheckVisible);
    m_chkShotSnap->setChecked(m_panel.shots().snap());
    for (QLineEdit* e : {m_txtHour, m_txtMinute, m_txtSecond, m_txtFrame})
        e->setVisible(c.positionVisible);
    m_txtHour->setText(m_panel.hourText());
    m_txtMinute->setText(m_panel.minuteText());
    m_txtSecond->setText(m_panel.secondText());
    m_txtFrame->setText(m_panel.frameText());
    m_lblVidRate->setVisible(c.rateVisible);
    m_combVidRate->setVisible(c.rateVisible);
    if (m_panel.rateIndex() >= 0 && m_combVidRate->currentIndex() != m_panel.rateIndex())
        m_combVidRate->setCurrentIndex(m_panel.rateIndex());
    if (m_combVidRate->currentText() != m_panel.rateText())
        m_combVidRate->setEditText(m_panel.rateText());
    m_lblRangeMsec->setText(m_panel.rangeText());
    m_refreshing = false;
}

// ---- events of the slider, the drop targets and the swatches -------------------------------

bool frmVid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_txtVidFile || watched == m_picVidPlay || watched == m_picMovie)
        return dropEvent(event);
    for (int i = 0; i < 3; ++i) {
        if (watched == m_imgSolidColor[i] && event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_panel.solidColor(i);
            focusSlider();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool frmVid::dropEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        if (!e->mimeData()->hasUrls())
            return false;
        e->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        if (!e->mimeData()->hasUrls())
            return false;
        QStringList paths;
        for (const QUrl& url : e->mimeData()->urls())
            if (url.isLocalFile())
                paths << url.toLocalFile();
        e->acceptProposedAction();
        if (!paths.isEmpty()) {
            m_panel.dropFiles(paths);
            focusSlider();
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace vk
