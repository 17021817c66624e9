#include "media/frmvid.h"

#include "app/editor.h"
#include "app/helpers.h"
#include "app/keycodes.h"
#include "app/settings.h"
#include "media/mediaplayerengine.h"
#include "media/videopanel.h"
#include "media/videowidget.h"

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
#include <QOpenGLContext>
#include <QPainter>
#include <QPlainTextEdit>
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
    return pixels * frmVid::kTwipsPerPixel;
}

int toPixels(int twips)
{
    return int(std::lround(double(twips) / frmVid::kTwipsPerPixel));
}


QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, const QString& tip)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QLineEdit* makePositionField(QWidget* parent, const char* name)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    e->setAlignment(Qt::AlignRight);
    e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

// True when this session can give a widget a GL context (not so on the offscreen
// platform, where a shown GL widget cannot even be composed into its window).
bool openGLAvailable()
{
    static const bool available = [] {
        QOpenGLContext context;
        return context.create();
    }();
    return available;
}

void keepSpaceWhenHidden(QWidget* w)
{
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
}

} // namespace

frmVid::frmVid(Editor& editor, VideoPanel& panel, const QIcon& icon, QWidget* parent)
    : QWidget(parent, Qt::Window), m_editor(editor), m_panel(panel), m_panelAlive(&panel)
{
    setObjectName(QStringLiteral("frmVid"));
    setWindowTitle(QStringLiteral("映像登録ﾊﾟﾈﾙ"));
    setWindowIcon(icon);
    buildControls();
    m_panel.setVideoWindow(m_picMovie);
    connect(&m_panel, &VideoPanel::changed, this, &frmVid::refresh);
    m_panel.formLoad();
    loadPlacement();
    refresh();
}

frmVid::frmVid(Editor& editor, VideoPanel& panel, QWidget* mainWindow)
    : frmVid(editor, panel, mainWindow ? mainWindow->windowIcon() : QIcon(), mainWindow)
{
}

frmVid::~frmVid()
{
    // The player must not keep drawing into a box that is gone.
    if (m_panelAlive) {
        m_panelAlive->setVideoWindow(nullptr);
        try {
            m_panelAlive->player().SetVideoWindow(nullptr);
        } catch (const EngineError&) {
        }
    }
}

void frmVid::buildControls()
{
    m_lblVidFile = new QLabel(QStringLiteral("映像ｸﾘｯﾌﾟ"), this);
    m_lblVidFile->setObjectName(QStringLiteral("lblVidFile"));
    m_lblVidFile->setToolTip(QStringLiteral("動画/静止画ﾌｧｲﾙ"));

    m_txtVidFile = new QLineEdit(this);
    m_txtVidFile->setObjectName(QStringLiteral("txtVidFile"));
    m_txtVidFile->setToolTip(QStringLiteral("入力ﾌｧｲﾙ（動画/静止画ﾌｧｲﾙ）"));
    m_txtVidFile->setAcceptDrops(true);
    m_txtVidFile->installEventFilter(this);
    connect(m_txtVidFile, &QLineEdit::textEdited, &m_panel, &VideoPanel::setFileText);
    connect(m_txtVidFile, &QLineEdit::returnPressed, this, [this] {
        m_panel.setFileText(m_txtVidFile->text());
        m_panel.fileEnter();
        focusSlider();
    });

    m_cmdFileLoad = makeButton(this, "cmdFileLoad", QStringLiteral("参照..."), QStringLiteral("入力ファイル指定"));
    connect(m_cmdFileLoad, &QPushButton::clicked, this, [this] {
        m_panel.browse();
        focusSlider();
    });

    m_picVidPlay = new QFrame(this);
    m_picVidPlay->setObjectName(QStringLiteral("picVidPlay"));
    m_picVidPlay->setAutoFillBackground(true);
    QPalette black = m_picVidPlay->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_picVidPlay->setPalette(black);
    m_picVidPlay->setAcceptDrops(true);
    m_picVidPlay->installEventFilter(this);

    // The player draws into a video widget; without GL the box stays black.
    if (openGLAvailable()) {
        m_picMovie = new VideoWidget(m_picVidPlay);
    } else {
        m_picMovie = new QWidget(m_picVidPlay);
        m_picMovie->setAutoFillBackground(true);
        m_picMovie->setPalette(black);
    }
    m_picMovie->setObjectName(QStringLiteral("picMovie"));
    m_picMovie->setAcceptDrops(true);
    m_picMovie->installEventFilter(this);
    m_picMovie->hide();

    m_sliderVid = new QSlider(Qt::Horizontal, this);
    m_sliderVid->setObjectName(QStringLiteral("sliderVid"));
    m_sliderVid->setTickPosition(QSlider::TicksBelow);
    m_sliderVid->setFocusPolicy(Qt::StrongFocus);
    m_sliderVid->setMinimumHeight(m_sliderVid->sizeHint().height() + 6);
    m_sliderVid->installEventFilter(this);
    connect(m_sliderVid, &QSlider::valueChanged, this, [this](int value) {
        if (m_refreshing)
            return;
        m_panel.scrollTo(value);
    });

    // ---- the button frame under the slider ----
    m_frameVid = new QFrame(this);
    m_frameVid->setObjectName(QStringLiteral("frameVid"));
    m_frameVid->setFrameShape(QFrame::StyledPanel);

    m_btnVidPlayPlause = makeButton(m_frameVid, "btnVidPlayPlause", QString(), QStringLiteral("再生/ﾎﾟｰｽﾞ (SPC)"));
    m_btnVidPlayPlause->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    connect(m_btnVidPlayPlause, &QPushButton::clicked, this, [this] {
        m_panel.PlayPause();
        focusSlider();
    });

    m_chkMute = new QCheckBox(QStringLiteral("ﾐｭｰﾄ"), m_frameVid);
    m_chkMute->setObjectName(QStringLiteral("chkMute"));
    m_chkMute->setFocusPolicy(Qt::NoFocus);
    connect(m_chkMute, &QCheckBox::clicked, this, [this](bool on) {
        m_panel.setMute(on);
        focusSlider();
    });

    m_lblVidRate = new QLabel(QStringLiteral("×"), m_frameVid);
    m_lblVidRate->setObjectName(QStringLiteral("lblVidRate"));
    m_combVidRate = new QComboBox(m_frameVid);
    m_combVidRate->setObjectName(QStringLiteral("combVidRate"));
    m_combVidRate->setToolTip(QStringLiteral("変速再生速度"));
    m_combVidRate->setEditable(true);
    m_combVidRate->setInsertPolicy(QComboBox::NoInsert);
    m_combVidRate->addItems(SpeedListTexts());
    m_combVidRate->setMaxVisibleItems(18);
    m_combVidRate->setFixedWidth(m_combVidRate->fontMetrics().horizontalAdvance(QStringLiteral("0.000")) + 36);
    connect(m_combVidRate, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        if (m_refreshing)
            return;
        m_panel.chooseRate(index);
        focusSlider();
    });
    connect(m_combVidRate->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        m_panel.typeRateText(text);
    });
    connect(m_combVidRate->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        m_panel.typeRateText(m_combVidRate->currentText());
        m_panel.applyVidRateText();
        focusSlider();
    });

    m_txtHour = makePositionField(m_frameVid, "txtHour");
    m_txtMinute = makePositionField(m_frameVid, "txtMinute");
    m_txtSecond = makePositionField(m_frameVid, "txtSecond");
    m_txtFrame = makePositionField(m_frameVid, "txtFrame");

    m_ChkRange = new QCheckBox(QStringLiteral("ﾘﾋﾟｰﾄ"), m_frameVid);
    m_ChkRange->setObjectName(QStringLiteral("ChkRange"));
    m_ChkRange->setToolTip(QStringLiteral("範囲終点で再生停止"));
    m_ChkRange->setFocusPolicy(Qt::NoFocus);
    connect(m_ChkRange, &QCheckBox::clicked, this, [this](bool on) {
        m_panel.setRangeStop(on);
        focusSlider();
    });

    const QString selStart = QStringLiteral("範囲始点を設定(Z)");
    const QString selEnd = QStringLiteral("範囲終点を設定(X)");
    const QString selStartJmp = QStringLiteral("範囲始点へジャンプ(C)");
    const QString selEndJmp = QStringLiteral("範囲終点へジャンプ(V)");
    m_cmdSelStart = makeButton(m_frameVid, "cmdSelStart", selStart, selStart);
    m_cmdSelEnd = makeButton(m_frameVid, "cmdSelEnd", selEnd, selEnd);
    m_cmdSelStartJmp = makeButton(m_frameVid, "cmdSelStartJmp", selStartJmp, selStartJmp);
    m_cmdSelEndJmp = makeButton(m_frameVid, "cmdSelEndJmp", selEndJmp, selEndJmp);
    connect(m_cmdSelStart, &QPushButton::clicked, this, [this] { m_panel.selStart(); focusSlider(); });
    connect(m_cmdSelEnd, &QPushButton::clicked, this, [this] { m_panel.selEnd(); focusSlider(); });
    connect(m_cmdSelStartJmp, &QPushButton::clicked, this, [this] { m_panel.selStartJump(); focusSlider(); });
    connect(m_cmdSelEndJmp, &QPushButton::clicked, this, [this] { m_panel.selEndJump(); focusSlider(); });

    m_btnVidReg = makeButton(m_frameVid, "btnVidReg", QStringLiteral("映像登録"),
                             QStringLiteral("選択した音声区間行に映像を登録します(S)"));
    connect(m_btnVidReg, &QPushButton::clicked, this, [this] { m_panel.VidRegister(); focusSlider(); });
    m_btnVidContReg = makeButton(m_frameVid, "btnVidContReg", QStringLiteral("映像連続登録"),
                                 QStringLiteral("動画ｸﾘｯﾌﾟ中の音楽にあわせてｸﾘｯｸすると行映像が連続登録されます(A)"));
    // On the button going down, so a tap lands on the beat rather than on its release.
    connect(m_btnVidContReg, &QPushButton::pressed, this, [this] { m_panel.VidContRegister(); focusSlider(); });

    const QColor swatches[3] = {Qt::black, QColor(128, 128, 128), Qt::white};
    for (int i = 0; i < 3; ++i) {
        auto* l = new QLabel(m_frameVid);
        l->setObjectName(QStringLiteral("imgSolidColor%1").arg(i));
        l->setToolTip(QStringLiteral("静止画像テンプレート"));
        l->setFixedSize(22, 22);
        l->setFrameShape(QFrame::Box);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, swatches[i]);
        p.setColor(QPalette::WindowText, QColor(96, 96, 96));
        l->setPalette(p);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
        m_imgSolidColor[i] = l;
    }

    m_lblRangeMsec = new QLabel(m_frameVid);
    m_lblRangeMsec->setObjectName(QStringLiteral("lblRangeMsec"));
    m_lblRangeMsec->setMinimumWidth(m_lblRangeMsec->fontMetrics().horizontalAdvance(QStringLiteral("区間長=0000000ms")));

    m_txtShortcut = new QPlainTextEdit(m_frameVid);
    m_txtShortcut->setObjectName(QStringLiteral("txtShortcut"));
    m_txtShortcut->setReadOnly(true);
    m_txtShortcut->setFocusPolicy(Qt::NoFocus);
    m_txtShortcut->setFrameShape(QFrame::NoFrame);
    m_txtShortcut->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_txtShortcut->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_txtShortcut->setPlainText(QStringLiteral("SPC=再生/停止、↑↓←→ =コマ送り/早送り、S=映像登録、A=連続映像登録\n"
                                               "Z/X=範囲始点/終点指定、C/V=範囲始点/終点にｼﾞｬﾝﾌﾟ"));
    QPalette tp = m_txtShortcut->palette();
    tp.setColor(QPalette::Base, tp.color(QPalette::Window));
    m_txtShortcut->setPalette(tp);
    m_txtShortcut->setFixedHeight(m_txtShortcut->fontMetrics().lineSpacing() * 3 + 10);
    // Wide enough for its longest line: a narrower box would wrap the Japanese text in
    // the middle of a word. The frame below takes its size from this width.
    {
        const QFontMetrics fm(m_txtShortcut->font());
        int longest = 0;
        for (const QString& line : m_txtShortcut->toPlainText().split(QLatin1Char('\n')))
            longest = std::max(longest, fm.horizontalAdvance(line));
        const int margins = int(std::ceil(2 * m_txtShortcut->document()->documentMargin())) +
                            2 * m_txtShortcut->frameWidth() + m_txtShortcut->contentsMargins().left() +
                            m_txtShortcut->contentsMargins().right();
        // A few pixels more for the cursor and for rounding in the text layout.
        m_txtShortcut->setMinimumWidth(longest + margins + 4);
    }

    for (QWidget* w : std::initializer_list<QWidget*>{
             m_btnVidPlayPlause, m_chkMute, m_lblVidRate, m_combVidRate, m_txtHour, m_txtMinute, m_txtSecond,
             m_txtFrame, m_ChkRange, m_cmdSelStart, m_cmdSelEnd, m_cmdSelStartJmp, m_cmdSelEndJmp, m_btnVidReg,
             m_btnVidContReg, m_lblRangeMsec})
        keepSpaceWhenHidden(w);

    auto* rows = new QVBoxLayout(m_frameVid);
    rows->setContentsMargins(6, 6, 6, 6);
    rows->setSpacing(4);

    auto* play = new QHBoxLayout;
    play->addWidget(m_btnVidPlayPlause);
    play->addWidget(m_chkMute);
    play->addSpacing(6);
    play->addWidget(m_lblVidRate);
    play->addWidget(m_combVidRate);
    play->addStretch(1);
    play->setSpacing(4);
    for (QLineEdit* e : {m_txtHour, m_txtMinute, m_txtSecond, m_txtFrame})
        play->addWidget(e);
    rows->addLayout(play);

    auto* range = new QHBoxLayout;
    range->addWidget(m_cmdSelStart);
    range->addWidget(m_cmdSelEnd);
    range->addWidget(m_ChkRange);
    range->addStretch(1);
    rows->addLayout(range);

    auto* jumps = new QHBoxLayout;
    jumps->addWidget(m_cmdSelStartJmp);
    jumps->addWidget(m_cmdSelEndJmp);
    jumps->addWidget(m_lblRangeMsec);
    jumps->addStretch(1);
    rows->addLayout(jumps);

    auto* reg = new QHBoxLayout;
    reg->addWidget(m_btnVidReg);
    reg->addWidget(m_btnVidContReg);
    reg->addStretch(1);
    for (QLabel* l : m_imgSolidColor)
        reg->addWidget(l);
    rows->addLayout(reg);
    rows->addWidget(m_txtShortcut);

    m_frameVid->setFixedSize(m_frameVid->sizeHint());
}

// ---- placement -----------------------------------------------------------------------------

void frmVid::loadPlacement()
{
    bool ok = true;
    const int left = Settings::readInt(QStringLiteral("video_left"), kDefaultLeft, &ok);
    const int leftTwips = ok ? left : kDefaultLeft;
    const int top = Settings::readInt(QStringLiteral("video_top"), kDefaultTop, &ok);
    const int topTwips = ok ? top : kDefaultTop;
    const int width = Settings::readInt(QStringLiteral("video_width"), kDefaultWidth, &ok);
    const int widthTwips = ok ? width : kDefaultWidth;
    const int height = Settings::readInt(QStringLiteral("video_height"), kDefaultHeight, &ok);
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
    Settings::RegValueWrite(QStringLiteral("video_left"), toTwips(x()));
    Settings::RegValueWrite(QStringLiteral("video_top"), toTwips(y()));
    Settings::RegValueWrite(QStringLiteral("video_width"), toTwips(width()));
    Settings::RegValueWrite(QStringLiteral("video_height"), toTwips(height()));
    Settings::sync();
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
                                Ui::Icon::Warning)) {
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

    const int windowW = toPixels(W);
    const int px = toPixels(kLeftMargin);
    const int buttonW = m_cmdFileLoad->sizeHint().width();
    const int labelW = m_lblVidFile->sizeHint().width();
    const int rowH = m_txtVidFile->sizeHint().height();
    m_lblVidFile->setGeometry(px, 8, labelW, rowH);
    m_cmdFileLoad->setGeometry(windowW - px - buttonW, 8, buttonW, rowH);
    m_txtVidFile->setGeometry(px + labelW + 6, 8, std::max(40, windowW - 2 * px - labelW - buttonW - 12), rowH);

    const int contentW = W - 280;
    const int frameTop = H - frameH - 600;
    const int sliderTop = frameTop - sliderH - 100;
    const int pictureTop = std::max(kPictureTop, toTwips(8 + rowH + 8));
    const int pictureH = sliderTop - pictureTop - 50;
    m_picVidPlay->setGeometry(px, toPixels(pictureTop), toPixels(contentW), std::max(1, toPixels(pictureH)));
    m_sliderVid->setGeometry(px, toPixels(sliderTop), toPixels(contentW), toPixels(sliderH));
    m_frameVid->move(toPixels(frameLeft), toPixels(frameTop));

    if (!m_panel.fileText().isEmpty()) {
        fitMovie();
        // Shows the picture at the slider's position again after the size change.
        m_panel.sliderVid_scroll();
    }
}

void frmVid::fitMovie()
{
    const QRect box(0, 0, m_picVidPlay->width(), m_picVidPlay->height());
    m_picMovie->setGeometry(VideoPanel::fitMovieWindow(m_panel.pictureSize(), box));
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

    m_btnVidPlayPlause->setIcon(style()->standardIcon(m_panel.timerActive() ? QStyle::SP_MediaPause
                                                                            : QStyle::SP_MediaPlay));
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
    if (watched == m_sliderVid)
        return sliderEvent(event);
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

void frmVid::sliderOption(QStyleOptionSlider& opt) const
{
    opt.initFrom(m_sliderVid);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = m_sliderVid->orientation();
    opt.maximum = m_sliderVid->maximum();
    opt.minimum = m_sliderVid->minimum();
    opt.tickPosition = m_sliderVid->tickPosition();
    opt.tickInterval = m_sliderVid->tickInterval();
    opt.upsideDown = false;
    opt.direction = m_sliderVid->layoutDirection();
    opt.sliderPosition = m_sliderVid->sliderPosition();
    opt.sliderValue = m_sliderVid->value();
    opt.singleStep = m_sliderVid->singleStep();
    opt.pageStep = m_sliderVid->pageStep();
}

void frmVid::paintRange()
{
    const VideoPanel::Slider& s = m_panel.slider();
    if (!s.selShown || s.selLength <= 0 || m_sliderVid->maximum() <= m_sliderVid->minimum())
        return;
    QStyleOptionSlider opt;
    sliderOption(opt);
    const QRect groove = m_sliderVid->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, m_sliderVid);
    const QRect handle = m_sliderVid->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, m_sliderVid);
    const int span = groove.width() - handle.width();
    if (span <= 0)
        return;
    auto xOf = [&](int v) {
        const int clamped = std::clamp(v, m_sliderVid->minimum(), m_sliderVid->maximum());
        return groove.x() + handle.width() / 2 +
               QStyle::sliderPositionFromValue(m_sliderVid->minimum(), m_sliderVid->maximum(), clamped, span);
    };
    const int x1 = xOf(s.selStart);
    const int x2 = xOf(s.selEnd());
    const int cy = groove.center().y();
    QPainter p(m_sliderVid);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect band(x1, cy - 3, std::max(1, x2 - x1), 7);
    p.fillRect(band, QColor(40, 90, 230, 150));
    p.setPen(QColor(20, 50, 170));
    p.drawLine(x1, cy - 7, x1, cy + 7);
    p.drawLine(x2, cy - 7, x2, cy + 7);
}

bool frmVid::sliderEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Paint: {
        // The slider paints itself, then the range goes over its groove.
        static_cast<QObject*>(m_sliderVid)->event(event);
        paintRange();
        return true;
    }
    case QEvent::KeyPress: {
        auto* e = static_cast<QKeyEvent*>(event);
        const int code = KeyCode(e->key());
        if (code == 0)
            return false;
        m_panel.keyCommand(code, ShiftState(e->modifiers()));
        focusSlider();
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton)
            return false;
        const QPoint pos = e->position().toPoint();
        m_panel.sliderMouseDown(toTwips(pos.x()), toTwips(pos.y()));
        QStyleOptionSlider opt;
        sliderOption(opt);
        const QRect handle =
            m_sliderVid->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, m_sliderVid);
        // A press on the thumb drags it; a press elsewhere waits for the release, where
        // the click moves the value (instead of the slider's page step).
        m_pressOnGroove = !handle.contains(pos);
        m_sliderVid->setFocus(Qt::MouseFocusReason);
        return m_pressOnGroove;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() != Qt::LeftButton)
            return false;
        const QPoint pos = e->position().toPoint();
        const bool consumed = m_pressOnGroove;
        m_pressOnGroove = false;
        if (!consumed) {
            // Let the slider end the drag first, then apply the click rule.
            static_cast<QObject*>(m_sliderVid)->event(event);
        }
        m_panel.sliderMouseUp(toTwips(pos.x()), toTwips(pos.y()), toTwips(m_sliderVid->width()));
        focusSlider();
        return true;
    }
    default:
        return false;
    }
}

} // namespace vk
