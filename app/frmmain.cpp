#include "app/frmmain.h"

#include "app/beatassist.h"
#include "app/droplineedit.h"
#include "app/qtdialogs.h"
#include "app/rangeslider.h"
#include "app/rowtablemodel.h"
#include "app/rowtableview.h"
#include "base/settingsstore.h"
#include "base/speeds.h"
#include "base/twips.h"
#include "media/soundpanel.h"
#include "render/outputdriver.h"
#include "render/outputformats.h"
#include "timeline/clipboard.h"
#include "timeline/editor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace vk {

namespace {
int px(int twips)
{
    return TwipsToPixels(twips);
}
int tw(int pixels)
{
    return PixelsToTwips(pixels);
}
} // namespace

frmMain::frmMain(const Parts& parts)
    : m_editor(parts.editor), m_soundPanel(parts.sound), m_project(parts.project), m_import(parts.import),
      m_clipboard(parts.clipboard), m_output(parts.output), m_exports(parts.exports), m_ui(parts.ui),
      m_settings(parts.settings), m_urlOpener(parts.urlOpener)
{
    setObjectName(QStringLiteral("frmMain"));
    setAcceptDrops(true);
    createControls();
    createMenus();
}

frmMain::~frmMain()
{
    // The controls go here, before the base class takes the window apart, so none of
    // them calls back into a half-destroyed window: the slider's and the speed box's
    // handlers first, then the widgets (hiding the table still asks its model for the
    // header captions, so the view goes before its model).
    m_sliderSnd->onKey = nullptr;
    m_sliderSnd->onMouseDown = nullptr;
    m_sliderSnd->onMouseUp = nullptr;
    if (QLineEdit* rateEdit = m_combSndRate->lineEdit())
        rateEdit->removeEventFilter(this);
    delete takeCentralWidget();
    m_grid = nullptr;
    delete m_model;
    m_model = nullptr;
}

QSlider* frmMain::soundRangeSlider() const
{
    return m_sliderSnd;
}

QMenu* frmMain::editMenu() const
{
    return findChild<QMenu*>(QStringLiteral("mnuEdit"));
}

// ---- controls ----------------------------------------------------------------------------

void frmMain::connectControls()
{
    Editor& ed = m_editor;
    SoundPanel& snd = *m_sound;

    auto* txt = static_cast<DropLineEdit*>(m_txtSndFile);
    txt->onDrop = [&snd](const QString& path) { snd.SndFileOpen(path); };
    connect(m_txtSndFile, &QLineEdit::textEdited, this, [&ed](const QString& t) { ed.setSndFile(t); });
    connect(m_txtSndFile, &QLineEdit::returnPressed, this, [this, &snd] { snd.SndFileOpen(m_txtSndFile->text()); });
    connect(&ed, &Editor::sndFileChanged, this, [this](const QString& t) {
        if (m_txtSndFile->text() != t)
            m_txtSndFile->setText(t);
    });
    connect(m_cmdFileLoad, &QPushButton::clicked, this, [&snd] { snd.browse(); });
    connect(m_btnSndPlayPlause, &QToolButton::clicked, this, [&snd] { snd.PlayPause(); });
    // A section starts when the button goes down, not on the click that follows.
    connect(m_btnSndReg, &QPushButton::pressed, this, [&ed] { ed.sections().SndRegister(); });
    connect(m_combSndRate, qOverload<int>(&QComboBox::activated), this, [&snd](int i) { snd.chooseRate(i); });
    connect(m_combSndRate, &QComboBox::editTextChanged, this, [&snd](const QString& t) { snd.typeRateText(t); });
    m_combSndRate->lineEdit()->installEventFilter(this);
    connect(m_chkSound, &QCheckBox::toggled, this, [&snd](bool on) { snd.setBeepOn(on); });
    connect(m_sliderSnd, &QSlider::sliderMoved, this, [&snd](int v) { snd.scrollTo(v); });
    connect(&snd, &SoundPanel::changed, this, &frmMain::refreshSound);

    connect(m_btnUndo, &QToolButton::clicked, this, [&ed] { ed.history().Undo(); });
    connect(m_btnRedo, &QToolButton::clicked, this, [&ed] { ed.history().Redo(); });
    connect(m_btnVidCut, &QPushButton::clicked, this, [this] { m_clipboard.Cut(); });
    connect(m_btnVidCopy, &QPushButton::clicked, this, [this] { m_clipboard.Copy(); });
    connect(m_btnVidPaste, &QPushButton::clicked, this, [this] { m_clipboard.Paste(); });
    connect(m_btnSndDel, &QPushButton::clicked, this, [&ed] { ed.sections().SndDelete(); });
    connect(m_btnUp, &QToolButton::clicked, this, [&ed] { ed.selection().GoFirst(); });
    connect(m_btnDown, &QToolButton::clicked, this, [&ed] { ed.selection().GoLast(); });

    connect(m_chkPart, &QCheckBox::toggled, this, [&ed](bool on) { ed.setPartOnly(on); });
    connect(m_cmboWMV, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [&ed](int i) { ed.setWmvProfileIndex(i); });
    connect(m_cmboAVI, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [&ed](int i) { ed.setAviProfileIndex(i); });
    connect(m_cmboMP4, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [&ed](int i) { ed.setMp4ProfileIndex(i); });
    connect(m_cmdCreateWMV, &QPushButton::clicked, this, [this] { m_output.CreateWmv(); });
    connect(m_cmdCreateAVI, &QPushButton::clicked, this, [this] { m_output.CreateAvi(); });
    connect(m_cmdCreateMP4, &QPushButton::clicked, this, [this] { m_output.CreateMp4(); });
    connect(m_cmdPreview, &QPushButton::clicked, this, [this] { m_output.Preview(); });

    connect(&ed, &Editor::labelsChanged, this, &frmMain::refreshLabels);
    connect(&ed, &Editor::tableChanged, m_grid, &RowTableView::followCurrentRow, Qt::QueuedConnection);
    connect(&ed, &Editor::tableChanged, this, &frmMain::refreshHistory);
    connect(&ed, &Editor::historyChanged, this, &frmMain::refreshHistory);
}

// ---- start-up ------------------------------------------------------------------------

void frmMain::Form_Load()
{
    Editor& ed = m_editor;
    setWindowTitle(QtDialogs::applicationTitle());
    m_lblRow->clear();
    m_lblSndRangeMsec->clear();
    m_lblVidRangeMsec->clear();

    m_combSndRate->addItems(SpeedListTexts());
    m_combSndRate->setCurrentIndex(6);
    m_cmboWMV->addItems(WmvListTexts());
    m_cmboAVI->addItems(AviListTexts());
    m_cmboMP4->addItems(Mp4ListTexts());

    m_sound = &m_soundPanel;
    connectControls();

    readSettings();

    // The row table: 12 columns, the widths; one empty section.
    ed.Grid().setCols(Col::Count);
    m_grid->setUpColumns();
    m_sliderSnd->setMaximum(100);
    m_sliderSnd->setTickInterval(1);

    ed.sections().SndClear();
    ed.Grid().currentRow = 1;
    ed.Grid().currentCol = 0;
    ed.setDraggedRange(1, 1);
    ed.tmpgrid().setCols(ed.Grid().Cols());
    ed.tmpgrid().clear();
    Form_Resize();
}

void frmMain::refresh()
{
    refreshSound();
    refreshLabels();
}

void frmMain::readSettings()
{
    bool ok = true;
    int v = m_settings.readInt(QStringLiteral("WMVProfile"), kDefaultWmvIndex, &ok);
    if (ok && v >= 0 && v < m_cmboWMV->count())
        m_cmboWMV->setCurrentIndex(v);
    v = m_settings.readInt(QStringLiteral("AVIProfile"), kDefaultAviIndex, &ok);
    if (ok && v >= 0 && v < m_cmboAVI->count())
        m_cmboAVI->setCurrentIndex(v);
    v = m_settings.readInt(QStringLiteral("MP4Profile"), kDefaultMp4Index, &ok);
    if (ok && v >= 0 && v < m_cmboMP4->count())
        m_cmboMP4->setCurrentIndex(v);
    m_editor.setWmvProfileIndex(m_cmboWMV->currentIndex());
    m_editor.setAviProfileIndex(m_cmboAVI->currentIndex());
    m_editor.setMp4ProfileIndex(m_cmboMP4->currentIndex());
    v = m_settings.readInt(QStringLiteral("part"), 0, &ok);
    if (ok)
        m_chkPart->setChecked(v == 1);
    v = m_settings.readInt(QStringLiteral("sound"), 1, &ok);
    if (ok)
        m_chkSound->setChecked(v == 1);
    m_editor.setPartOnly(m_chkPart->isChecked());
    m_sound->setBeepOn(m_chkSound->isChecked());

    int left = m_settings.readInt(QStringLiteral("main_left"), 1000, &ok);
    if (!ok)
        left = tw(x());
    int top = m_settings.readInt(QStringLiteral("main_top"), 1000, &ok);
    if (!ok)
        top = tw(y());
    int width = m_settings.readInt(QStringLiteral("main_width"), 9695, &ok);
    if (!ok)
        width = tw(this->width());
    // By default the table is as tall as with two output rows and no waveform strip.
    const int defaultHeight = 8285 + (m_beats ? tw(BeatAssist::kStripHeight) : 0);
    int height = m_settings.readInt(QStringLiteral("main_height"), defaultHeight, &ok);
    if (!ok)
        height = tw(this->height());
    // The stored place is applied first; a window left or above the screen's origin
    // then goes back to the default place.
    move(px(left), px(top));
    resize(px(width), px(height));
    if (left < 0)
        move(px(1000), y());
    if (top < 0)
        move(x(), px(1000));
}

void frmMain::writeSettings()
{
    m_settings.RegValueWrite(QStringLiteral("WMVProfile"), m_cmboWMV->currentIndex());
    m_settings.RegValueWrite(QStringLiteral("AVIProfile"), m_cmboAVI->currentIndex());
    m_settings.RegValueWrite(QStringLiteral("MP4Profile"), m_cmboMP4->currentIndex());
    m_settings.RegValueWrite(QStringLiteral("sound"), m_chkSound->isChecked() ? 1 : 0);
    m_settings.RegValueWrite(QStringLiteral("part"), m_chkPart->isChecked() ? 1 : 0);
    m_settings.RegValueWrite(QStringLiteral("main_left"), tw(x()));
    m_settings.RegValueWrite(QStringLiteral("main_top"), tw(y()));
    m_settings.RegValueWrite(QStringLiteral("main_width"), tw(width()));
    m_settings.RegValueWrite(QStringLiteral("main_height"), tw(height()));
    m_settings.sync();
}

// ---- layout ------------------------------------------------------------------------------

void frmMain::Form_Resize()
{
    if (isMinimized())
        return;
    int w = tw(width());
    int h = tw(height());
    const int saveRight = tw(m_frameSave->x() + m_frameSave->width());
    if (saveRight + 200 > w)
        w = saveRight + 200;
    const int minHeight =
        tw(m_sliderSnd->height()) + tw(m_frameSnd->height()) + 3000 + (m_beats ? tw(BeatAssist::kStripHeight) : 0);
    if (minHeight > h)
        h = minHeight;
    if (w != tw(width()) || h != tw(height())) {
        resize(px(w), px(h));
        return; // the resize comes back here
    }
    const int menu = menuBar()->isVisible() ? tw(menuBar()->height()) : 0;
    const int gridTop = tw(m_grid->y());
    m_grid->resize(px(w - 280), std::max(0, px(h - menu - gridTop - 1000)));
    m_lblMsg->move(m_lblMsg->x(), px(h - menu - 950));
    m_sliderSnd->resize(px(w - 250), m_sliderSnd->height());
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_sliderSnd)
        Form_Resize();
}

// ---- redraws -------------------------------------------------------------------------------

void frmMain::refreshSound()
{
    if (!m_sound)
        return;
    const SoundPanel& s = *m_sound;
    const QSignalBlocker block(m_sliderSnd);
    m_sliderSnd->setRange(s.slider().min, s.slider().max);
    m_sliderSnd->setTickInterval(std::max(1, s.slider().tick));
    m_sliderSnd->setValue(s.slider().value);
    m_sliderSnd->setToolTip(s.sliderToolTip());
    m_txtHour->setText(s.hourText());
    m_txtMinute->setText(s.minuteText());
    m_txtSecond->setText(s.secondText());
    m_txtFrame->setText(s.frameText());
    m_picSndPlay->setVisible(s.pictureVisible());
    const bool on = s.controlsEnabled();
    for (QWidget* w :
         {static_cast<QWidget*>(m_btnSndPlayPlause), static_cast<QWidget*>(m_btnSndReg),
          static_cast<QWidget*>(m_btnSndDel), static_cast<QWidget*>(m_btnUp), static_cast<QWidget*>(m_btnDown),
          static_cast<QWidget*>(m_cmdPreview), static_cast<QWidget*>(m_btnVidCut), static_cast<QWidget*>(m_btnVidCopy),
          static_cast<QWidget*>(m_btnVidPaste), static_cast<QWidget*>(m_cmdCreateAVI),
          static_cast<QWidget*>(m_cmdCreateWMV), static_cast<QWidget*>(m_cmdCreateMP4)})
        w->setEnabled(on);
    const QIcon& icon = s.timerActive() ? m_pauseIcon : m_playIcon;
    if (m_btnSndPlayPlause->icon().cacheKey() != icon.cacheKey())
        m_btnSndPlayPlause->setIcon(icon);
    refreshHistory();
}

void frmMain::refreshHistory()
{
    // With the other editing buttons once a sound clip is loaded, and only while there
    // is something to undo or redo; the menu items likewise.
    const bool on = m_sound && m_sound->controlsEnabled();
    const UndoHistory& history = m_editor.history();
    const bool undo = on && history.canUndo();
    const bool redo = on && history.canRedo();
    m_btnUndo->setEnabled(undo);
    m_btnRedo->setEnabled(redo);
    if (m_mnuUndo)
        m_mnuUndo->setEnabled(undo);
    if (m_mnuRedo)
        m_mnuRedo->setEnabled(redo);
}

void frmMain::refreshLabels()
{
    const Editor& ed = m_editor;
    m_lblMsg->setText(ed.msg());
    m_lblRow->setText(ed.rowLabel());
    m_lblSndRangeMsec->setText(ed.sndRangeLabel());
    m_lblVidRangeMsec->setText(ed.vidRangeLabel());
}

// ---- keys and drops ----------------------------------------------------------------------

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (m_combSndRate && watched == m_combSndRate->lineEdit() && event->type() == QEvent::KeyPress && m_sound) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            m_sound->typeRateText(m_combSndRate->currentText());
            m_sound->SndRateFromText();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    if (!urls.isEmpty() && m_sound)
        m_sound->SndFileOpen(urls.first().toLocalFile());
}

// ---- commands --------------------------------------------------------------------------------

void frmMain::mnuNew()
{
    if (!m_editor.askSaveChanges())
        return;
    m_editor.setModified(false);
    m_editor.sections().SndClear();
    m_sound->rewind();
    m_editor.setMsg(QStringLiteral("新しいプロジェクト"));
    m_ui.focusSoundSlider();
}

// ---- closing ---------------------------------------------------------------------------------

bool frmMain::Form_QueryUnload()
{
    if (!m_editor.modified())
        return true;
    if (!m_ui.askYesNo(QStringLiteral("プロジェクトファイルが保存されていません。保存せずに終了しますか？"),
                       UserDialogs::Icon::Exclamation))
        return false;
    m_editor.setModified(false);
    return true;
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
    m_quitRequested = true;
    QCoreApplication::quit();
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    emit unloadStarted();
    if (m_sound)
        writeSettings();
    m_sound = nullptr;
    emit unloadFinished();
}

void frmMain::quitNow()
{
    m_unloaded = true;
    m_quitRequested = true;
    QCoreApplication::exit(0);
}

} // namespace vk
