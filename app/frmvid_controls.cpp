// The video registration panel's controls: their creation, names and tool tips.

#include "app/frmvid.h"

#include "app/rangeslider.h"
#include "base/keycodes.h"
#include "base/settingsstore.h"
#include "base/speeds.h"
#include "base/twips.h"
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

void keepSpaceWhenHidden(QWidget* w)
{
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
}

} // namespace

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

    // The viewing copy's making, beside the file box while it runs.
    m_copyProgress = new QProgressBar(this);
    m_copyProgress->setObjectName(QStringLiteral("copyProgress"));
    m_copyProgress->setRange(0, 100);
    m_copyProgress->setFormat(QStringLiteral("表示用ｺﾋﾟｰ %p%"));
    m_copyProgress->setToolTip(
        QStringLiteral("コマ送り用の軽いコピーを作成中です。出来るまでは元のファイルを表示します。"));
    m_copyProgress->hide();

    m_picVidPlay = new QFrame(this);
    m_picVidPlay->setObjectName(QStringLiteral("picVidPlay"));
    m_picVidPlay->setAutoFillBackground(true);
    QPalette black = m_picVidPlay->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_picVidPlay->setPalette(black);
    m_picVidPlay->setAcceptDrops(true);
    m_picVidPlay->installEventFilter(this);

    // The player draws into a video widget; black while it has no picture.
    m_picMovie = new VideoWidget(m_picVidPlay);
    m_picMovie->setObjectName(QStringLiteral("picMovie"));
    m_picMovie->setAcceptDrops(true);
    m_picMovie->installEventFilter(this);
    m_picMovie->hide();

    m_sliderVid = new RangeSlider(RangeSlider::ClickRule::ClickToPosition, this);
    m_sliderVid->setObjectName(QStringLiteral("sliderVid"));
    m_sliderVid->setTickPosition(QSlider::TicksBelow);
    m_sliderVid->setFocusPolicy(Qt::StrongFocus);
    m_sliderVid->setMinimumHeight(m_sliderVid->sizeHint().height() + 6);
    m_sliderVid->onKey = [this](Key key, int shift) {
        m_panel.keyCommand(key, shift);
        focusSlider();
        return true;
    };
    m_sliderVid->onMouseDown = [this](int x, int y) { m_panel.sliderMouseDown(x, y); };
    m_sliderVid->onMouseUp = [this](int x, int y, int width) {
        m_panel.sliderMouseUp(x, y, width);
        focusSlider();
    };
    m_sliderVid->marks = [this] {
        const VideoPanel::Slider& s = m_panel.slider();
        return RangeSlider::Marks{s.selShown, s.selStart, s.selLength};
    };
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
    m_playIcon = style()->standardIcon(QStyle::SP_MediaPlay);
    m_pauseIcon = style()->standardIcon(QStyle::SP_MediaPause);
    m_btnVidPlayPlause->setIcon(m_playIcon);
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
    connect(m_combVidRate->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_panel.typeRateText(text); });
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

    // Snapping sits beside the range controls whose keys it changes.
    m_chkShotSnap = new QCheckBox(QStringLiteral("ｼｮｯﾄに吸着"), m_frameVid);
    m_chkShotSnap->setObjectName(QStringLiteral("chkShotSnap"));
    m_chkShotSnap->setToolTip(QStringLiteral("Z/X を3ｺﾏ以内のｼｮｯﾄ境界の先頭ｺﾏに合わせます。D/F=前/次のｼｮｯﾄ境界へ"));
    m_chkShotSnap->setFocusPolicy(Qt::NoFocus);
    connect(m_chkShotSnap, &QCheckBox::clicked, this, [this](bool on) {
        m_panel.setShotSnap(on);
        m_settings.RegValueWrite(QStringLiteral("video_shot_snap"), on ? QStringLiteral("1") : QStringLiteral("0"));
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
    connect(m_cmdSelStart, &QPushButton::clicked, this, [this] {
        m_panel.selStart();
        focusSlider();
    });
    connect(m_cmdSelEnd, &QPushButton::clicked, this, [this] {
        m_panel.selEnd();
        focusSlider();
    });
    connect(m_cmdSelStartJmp, &QPushButton::clicked, this, [this] {
        m_panel.selStartJump();
        focusSlider();
    });
    connect(m_cmdSelEndJmp, &QPushButton::clicked, this, [this] {
        m_panel.selEndJump();
        focusSlider();
    });

    m_btnVidReg = makeButton(m_frameVid, "btnVidReg", QStringLiteral("映像登録"),
                             QStringLiteral("選択した音声区間行に映像を登録します(S)"));
    connect(m_btnVidReg, &QPushButton::clicked, this, [this] {
        m_panel.VidRegister();
        focusSlider();
    });
    m_btnVidContReg = makeButton(m_frameVid, "btnVidContReg", QStringLiteral("映像連続登録"),
                                 QStringLiteral("動画ｸﾘｯﾌﾟ中の音楽にあわせてｸﾘｯｸすると行映像が連続登録されます(A)"));
    // On the button going down, so a tap lands on the beat rather than on its release.
    connect(m_btnVidContReg, &QPushButton::pressed, this, [this] {
        m_panel.VidContRegister();
        focusSlider();
    });

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
    m_lblRangeMsec->setMinimumWidth(
        m_lblRangeMsec->fontMetrics().horizontalAdvance(QStringLiteral("区間長=0000000ms")));

    m_txtShortcut = new QPlainTextEdit(m_frameVid);
    m_txtShortcut->setObjectName(QStringLiteral("txtShortcut"));
    m_txtShortcut->setReadOnly(true);
    m_txtShortcut->setFocusPolicy(Qt::NoFocus);
    m_txtShortcut->setFrameShape(QFrame::NoFrame);
    m_txtShortcut->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_txtShortcut->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_txtShortcut->setPlainText(QStringLiteral("SPC=再生/停止、↑↓←→ =コマ送り/早送り、S=映像登録、A=連続映像登録\n"
                                               "Z/X=範囲始点/終点指定、C/V=範囲始点/終点にｼﾞｬﾝﾌﾟ、D/F=前/次ｼｮｯﾄ"));
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

    for (QWidget* w : std::initializer_list<QWidget*>{m_btnVidPlayPlause, m_chkMute, m_lblVidRate, m_combVidRate,
                                                      m_txtHour, m_txtMinute, m_txtSecond, m_txtFrame, m_ChkRange,
                                                      m_cmdSelStart, m_cmdSelEnd, m_cmdSelStartJmp, m_cmdSelEndJmp,
                                                      m_btnVidReg, m_btnVidContReg, m_lblRangeMsec})
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
    range->addWidget(m_chkShotSnap);
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

} // namespace vk
