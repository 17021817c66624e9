#include "app/frmmain.h"

#include "app/commandline.h"
#include "app/editor.h"
#include "app/helpers.h"
#include "app/keycodes.h"
#include "app/kadroadaptor.h"
#include "app/qtui.h"
#include "app/settings.h"
#include "app/windowhook.h"
#include "media/frmvid.h"
#include "media/mediainfo.h"
#include "media/mediaplayerengine.h"
#include "media/soundpanel.h"
#include "media/videopanel.h"
#include "media/videowidget.h"
#include "project/clipimport.h"
#include "project/projectfile.h"
#include "render/outputdriver.h"
#include "render/outputformats.h"
#include "timeline/clipboard.h"
#include "timeline/frmeffect.h"
#include "timeline/resplit.h"
#include "timeline/rowtablemodel.h"
#include "timeline/rowtableview.h"
#include "web/aboutdialog.h"
#include "web/makerpage.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace vk {

namespace {
constexpr int kTwipsPerPixel = 15;
int px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
int tw(int pixels) { return pixels * kTwipsPerPixel; }

void place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(px(left), px(top), px(width), px(height));
}

// A line edit that hands dropped files to a callback (the sound clip field).
class DropLineEdit final : public QLineEdit {
public:
    std::function<void(const QString&)> onDrop;
    using QLineEdit::QLineEdit;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override
    {
        if (e->mimeData()->hasUrls())
            e->acceptProposedAction();
        else
            QLineEdit::dragEnterEvent(e);
    }
    void dragMoveEvent(QDragMoveEvent* e) override
    {
        if (e->mimeData()->hasUrls())
            e->acceptProposedAction();
        else
            QLineEdit::dragMoveEvent(e);
    }
    void dropEvent(QDropEvent* e) override
    {
        if (!e->mimeData()->hasUrls()) {
            QLineEdit::dropEvent(e);
            return;
        }
        const QList<QUrl> urls = e->mimeData()->urls();
        e->acceptProposedAction();
        if (!urls.isEmpty() && onDrop)
            onDrop(urls.first().toLocalFile());
    }
};
} // namespace

frmMain::frmMain(EngineFactory engines, std::function<int()> probe, const QStringList& arguments)
    : m_engineFactory(std::move(engines)), m_probe(std::move(probe)), m_arguments(arguments)
{
    setObjectName(QStringLiteral("frmMain"));
    m_ui = std::make_unique<QtUi>();
    m_ui->setWindow(this);
    m_editor = std::make_unique<Editor>(*m_ui);
    setAcceptDrops(true);
    createControls();
    createMenus();
}

frmMain::~frmMain()
{
    if (!m_unloaded)
        Form_Unload();
    UnhookWindow(this);
    // The other windows, the controls and the row table read the editor state and the
    // panels, which are members and go when this body ends: the widgets go first (the
    // base class would delete them only after the members, and hiding the table still
    // asks its model for the header captions). The view goes before its model.
    delete m_frmVid;
    delete m_frmEffect;
    delete m_about;
    // The filtered controls must not call back into this window while their siblings
    // are already gone.
    m_sliderSnd->removeEventFilter(this);
    if (QLineEdit* rateEdit = m_combSndRate->lineEdit())
        rateEdit->removeEventFilter(this);
    delete takeCentralWidget();
    m_grid = nullptr;
    delete m_model;
    m_model = nullptr;
}

// ---- controls ----------------------------------------------------------------------------

void frmMain::createControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };

    m_label1 = new QLabel(QStringLiteral("音声ｸﾘｯﾌﾟ(音声/動画ﾌｧｲﾙ)"), central);
    named(m_label1, "Label1")->setToolTip(QStringLiteral("音声/動画ﾌｧｲﾙ"));
    place(m_label1, 120, 150, 2300, 300);

    auto* txt = new DropLineEdit(central);
    m_txtSndFile = txt;
    named(m_txtSndFile, "txtSndFile")->setToolTip(QStringLiteral("入力ﾌｧｲﾙ（音声/動画ﾌｧｲﾙ）"));
    txt->setAcceptDrops(true);
    place(m_txtSndFile, 2450, 90, 5600, 330);

    m_cmdFileLoad = new QPushButton(QStringLiteral("参照..."), central);
    named(m_cmdFileLoad, "cmdFileLoad")->setToolTip(QStringLiteral("入力ファイル指定"));
    place(m_cmdFileLoad, 8150, 75, 1100, 360);

    m_frameSnd = new QFrame(central);
    named(m_frameSnd, "frameSnd");
    m_frameSnd->setFrameShape(QFrame::StyledPanel);
    place(m_frameSnd, 120, 510, 9220, 1080);

    m_btnSndPlayPlause = new QToolButton(m_frameSnd);
    named(m_btnSndPlayPlause, "btnSndPlayPlause")->setToolTip(QStringLiteral("再生/ﾎﾟｰｽﾞ (SPC)"));
    m_btnSndPlayPlause->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    m_btnSndPlayPlause->setIconSize(QSize(24, 24));
    place(m_btnSndPlayPlause, 120, 150, 700, 700);

    m_btnSndReg = new QPushButton(QStringLiteral("音声区間登録"), m_frameSnd);
    named(m_btnSndReg, "btnSndReg")
        ->setToolTip(QStringLiteral("音声ｸﾘｯﾌﾟ中の音楽にあわせてｸﾘｯｸすると音声区間が追加されます(A)"));
    place(m_btnSndReg, 900, 150, 1650, 700);

    m_lblSndRate = new QLabel(QStringLiteral("×"), m_frameSnd);
    named(m_lblSndRate, "lblSndRate");
    place(m_lblSndRate, 2650, 330, 200, 300);

    m_combSndRate = new QComboBox(m_frameSnd);
    named(m_combSndRate, "combSndRate")->setToolTip(QStringLiteral("変速再生速度"));
    m_combSndRate->setEditable(true);
    m_combSndRate->setInsertPolicy(QComboBox::NoInsert);
    place(m_combSndRate, 2850, 270, 1050, 390);

    const char* posNames[] = {"txtHour", "txtMinute", "txtSecond", "txtFrame"};
    QLineEdit** posFields[] = {&m_txtHour, &m_txtMinute, &m_txtSecond, &m_txtFrame};
    for (int i = 0; i < 4; ++i) {
        auto* e = new QLineEdit(m_frameSnd);
        named(e, posNames[i]);
        e->setReadOnly(true);
        e->setAlignment(Qt::AlignRight);
        e->setFocusPolicy(Qt::NoFocus);
        place(e, 4050 + i * 540, 270, 480, 390);
        *posFields[i] = e;
    }

    m_chkSound = new QCheckBox(QStringLiteral("確認音"), m_frameSnd);
    named(m_chkSound, "chkSound")->setToolTip(QStringLiteral("音声区間境界で確認音を鳴らす"));
    place(m_chkSound, 6300, 300, 1100, 330);

    m_picSndPlay = CreateVideoBox(m_frameSnd);
    named(m_picSndPlay, "picSndPlay");
    place(m_picSndPlay, 7550, 60, 1560, 960);
    m_picSndPlay->hide();

    m_sliderSnd = new QSlider(Qt::Horizontal, central);
    named(m_sliderSnd, "sliderSnd");
    m_sliderSnd->setTickPosition(QSlider::TicksBelow);
    m_sliderSnd->setPageStep(0);
    m_sliderSnd->setFocusPolicy(Qt::StrongFocus);
    m_sliderSnd->installEventFilter(this);
    place(m_sliderSnd, 60, 1650, 9400, 450);

    auto toolButton = [&](const char* name, const QString& text, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(central);
        named(b, name);
        b->setText(text);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
        return b;
    };
    auto button = [&](const char* name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, central);
        named(b, name)->setToolTip(tip);
        return b;
    };
    m_btnUndo = toolButton("BtnUndo", QStringLiteral("Undo"), QStyle::SP_ArrowBack);
    place(m_btnUndo, 120, 2160, 1000, 390);
    m_btnRedo = toolButton("btnRedo", QStringLiteral("Redo"), QStyle::SP_ArrowForward);
    place(m_btnRedo, 1170, 2160, 1000, 390);
    m_btnVidCut = button("btnVidCut", QStringLiteral("映像切取"),
                         QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲の映像登録をｶｯﾄ"));
    place(m_btnVidCut, 2350, 2160, 1100, 390);
    m_btnVidCopy = button("btnVidCopy", QStringLiteral("映像複写"),
                          QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲の映像登録をｺﾋﾟｰ"));
    place(m_btnVidCopy, 3500, 2160, 1100, 390);
    m_btnVidPaste = button("btnVidPaste", QStringLiteral("映像貼付"),
                           QStringLiteral("ｶｯﾄまたはｺﾋﾟｰされた映像登録を選択行以降にﾍﾟｰｽﾄ"));
    place(m_btnVidPaste, 4650, 2160, 1100, 390);
    m_btnSndDel = button("btnSndDel", QStringLiteral("行削除"),
                         QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲を削除(E)"));
    place(m_btnSndDel, 5900, 2160, 1100, 390);
    m_btnUp = toolButton("btnUp", QString(), QStyle::SP_ArrowUp);
    m_btnUp->setToolTip(QStringLiteral("最初へ"));
    place(m_btnUp, 7150, 2160, 500, 390);
    m_btnDown = toolButton("btnDown", QString(), QStyle::SP_ArrowDown);
    m_btnDown->setToolTip(QStringLiteral("最後へ"));
    place(m_btnDown, 7700, 2160, 500, 390);

    m_frameSave = new QFrame(central);
    named(m_frameSave, "frameSave");
    m_frameSave->setFrameShape(QFrame::StyledPanel);
    place(m_frameSave, 120, 2640, 9220, 930);

    m_cmboWMV = new QComboBox(m_frameSave);
    named(m_cmboWMV, "cmboWMV")->setToolTip(QStringLiteral("出力形式選択"));
    place(m_cmboWMV, 90, 60, 3200, 360);
    m_cmdCreateWMV = new QPushButton(QStringLiteral("WMV 作成"), m_frameSave);
    named(m_cmdCreateWMV, "cmdCreateWMV")->setToolTip(QStringLiteral("WMVファイル作成（WMVまたはASFファイルの作成）"));
    place(m_cmdCreateWMV, 3360, 45, 1300, 390);
    m_chkPart = new QCheckBox(QStringLiteral("ﾄﾞﾗｯｸﾞ選択範囲に限定"), m_frameSave);
    named(m_chkPart, "chkPart")
        ->setToolTip(QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲に限定して動画作成/ﾌﾟﾚﾋﾞｭｰを実行"));
    place(m_chkPart, 4900, 75, 3000, 330);
    m_cmboAVI = new QComboBox(m_frameSave);
    named(m_cmboAVI, "cmboAVI")->setToolTip(QStringLiteral("出力形式選択"));
    place(m_cmboAVI, 90, 500, 3200, 360);
    m_cmdCreateAVI = new QPushButton(QStringLiteral("AVI 作成"), m_frameSave);
    named(m_cmdCreateAVI, "cmdCreateAVI")->setToolTip(QStringLiteral("AVIファイル作成（AVIまたはWAVファイルの作成）"));
    place(m_cmdCreateAVI, 3360, 485, 1300, 390);
    m_cmdPreview = new QPushButton(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"), m_frameSave);
    named(m_cmdPreview, "cmdPreview")->setToolTip(QStringLiteral("プレビュー"));
    place(m_cmdPreview, 4900, 485, 1300, 390);

    m_lblRow = new QLabel(central);
    named(m_lblRow, "lblRow");
    place(m_lblRow, 120, 3660, 900, 300);
    m_lblSndRangeMsec = new QLabel(central);
    named(m_lblSndRangeMsec, "lblSndRangeMsec");
    place(m_lblSndRangeMsec, 900, 3660, 2100, 300);
    m_lblVidRangeMsec = new QLabel(central);
    named(m_lblVidRangeMsec, "lblVidRangeMsec");
    place(m_lblVidRangeMsec, 3050, 3660, 2100, 300);
    m_lblUsage = new QLabel(QStringLiteral("左ｸﾘｯｸ=行選択、右ｸﾘｯｸ(+SHIFT/CTRL)=ｼｰｸ(+再生)"), central);
    named(m_lblUsage, "lblUsage")->setToolTip(QStringLiteral("SPC=再生/停止、矢印ｷｰ=コマ送り/早送り、A=音声区間登録"));
    place(m_lblUsage, 5200, 3660, 4600, 300);

    m_grid = new RowTableView(*m_editor, central);
    named(m_grid, "Grid");
    m_model = new RowTableModel(*m_editor, this);
    m_grid->setModel(m_model);
    place(m_grid, 120, 3990, 9220, 2800);

    m_lblMsg = new QLabel(central);
    named(m_lblMsg, "lblMsg");
    place(m_lblMsg, 120, 6900, 9220, 300);

    for (QWidget* w : {static_cast<QWidget*>(m_label1), static_cast<QWidget*>(m_lblSndRate),
                       static_cast<QWidget*>(m_lblRow), static_cast<QWidget*>(m_lblSndRangeMsec),
                       static_cast<QWidget*>(m_lblVidRangeMsec), static_cast<QWidget*>(m_lblUsage),
                       static_cast<QWidget*>(m_lblMsg)})
        w->setFont(QFont(QStringLiteral("IPAPGothic"), 9));
}

void frmMain::createMenus()
{
    auto action = [this](QMenu* menu, const char* name, const QString& text, auto slot) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F) "));
    file->setObjectName(QStringLiteral("mnuFile"));
    action(file, "mnuNew", QStringLiteral("新しいプロジェクト(&N)"), [this] { mnuNew(); });
    file->addSeparator();
    action(file, "mnuProjectOpen", QStringLiteral("プロジェクトを開く(&O)"), [this] { m_project->OpenCommand(); });
    action(file, "mnuProjectSave", QStringLiteral("プロジェクトを保存する(&S)"), [this] { m_project->SaveCommand(); });
    action(file, "mnuProjectSaveAs", QStringLiteral("プロジェクトを別名で保存する(&A)"),
           [this] { m_project->SaveAsCommand(); });
    file->addSeparator();
    action(file, "mnuVidImport", QStringLiteral("プロジェクトファイルから映像クリップのみインポートする(&I)"),
           [this] { m_import->ImportCommand(); });
    file->addSeparator();
    action(file, "mnuQuit", QStringLiteral("終了(&Q)"), [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    action(edit, "mnuUndo", QStringLiteral("Undo(&U)"), [this] { m_editor->Undo(); });
    action(edit, "mnuRedo", QStringLiteral("Redo(&R)"), [this] { m_editor->Redo(); });
    edit->addSeparator();
    action(edit, "mnuCut", QStringLiteral("映像切取(&X)"), [this] { m_clipboard->Cut(); });
    action(edit, "mnuCopy", QStringLiteral("映像複写(&C)"), [this] { m_clipboard->Copy(); });
    action(edit, "mnuPaste", QStringLiteral("映像貼付(&V)"), [this] { m_clipboard->Paste(); });
    edit->addSeparator();
    action(edit, "mnuCutUp", QStringLiteral("映像切取＆上に詰める(&Z)"), [this] { m_clipboard->CutUp(); });
    action(edit, "mnuPasteInsert", QStringLiteral("映像挿入貼付(&I)"), [this] { m_clipboard->InsertPaste(); });
    edit->addSeparator();
    action(edit, "mnuVidSplit", QStringLiteral("映像速度変更（映像区間の再分割）(&J)"),
           [this] { VideoResplit(*m_editor).VidSplit(); });
    edit->addSeparator();
    action(edit, "mnuSndSameSplit", QStringLiteral("音声区間の等間隔化(&K)"), [this] { m_editor->SndSameSplit(); });
    action(edit, "mnuSndSplit", QStringLiteral("音声区間分割(&L)"), [this] { m_editor->SndSplit(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    action(help, "mnuUpdate", QStringLiteral("最新バージョンチェック(&U)"),
           [this] { OpenMakerPage(*m_ui, QStringLiteral("/service/servlet/update")); });
    action(help, "mnuSupport", QStringLiteral("サポート(&S)"),
           [this] { OpenMakerPage(*m_ui, QStringLiteral("/service/servlet/support")); });
    action(help, "mnuRanking", QStringLiteral("YouTube 人気動画 ランキング(&R)"),
           [this] { OpenMakerPage(*m_ui, QStringLiteral("/youtube/ranking.php")); });
    help->addSeparator();
    action(help, "mnuVersion", QStringLiteral("バージョン(&A)"), [this] {
        if (!m_about)
            m_about = new AboutDialog(this);
        m_about->show();
        m_about->raise();
    });
}

void frmMain::connectControls()
{
    Editor& ed = *m_editor;
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
    connect(m_btnSndReg, &QPushButton::pressed, this, [&ed] { ed.SndRegister(); });
    connect(m_combSndRate, qOverload<int>(&QComboBox::activated), this, [&snd](int i) { snd.chooseRate(i); });
    connect(m_combSndRate, &QComboBox::editTextChanged, this, [&snd](const QString& t) { snd.typeRateText(t); });
    m_combSndRate->lineEdit()->installEventFilter(this);
    connect(m_chkSound, &QCheckBox::toggled, this, [&snd](bool on) { snd.setBeepOn(on); });
    connect(m_sliderSnd, &QSlider::sliderMoved, this, [&snd](int v) { snd.scrollTo(v); });
    connect(&snd, &SoundPanel::changed, this, &frmMain::refreshSound);

    connect(m_btnUndo, &QToolButton::clicked, this, [&ed] { ed.Undo(); });
    connect(m_btnRedo, &QToolButton::clicked, this, [&ed] { ed.Redo(); });
    connect(m_btnVidCut, &QPushButton::clicked, this, [this] { m_clipboard->Cut(); });
    connect(m_btnVidCopy, &QPushButton::clicked, this, [this] { m_clipboard->Copy(); });
    connect(m_btnVidPaste, &QPushButton::clicked, this, [this] { m_clipboard->Paste(); });
    connect(m_btnSndDel, &QPushButton::clicked, this, [&ed] { ed.SndDelete(); });
    connect(m_btnUp, &QToolButton::clicked, this, [&ed] { ed.GoFirst(); });
    connect(m_btnDown, &QToolButton::clicked, this, [&ed] { ed.GoLast(); });

    connect(m_chkPart, &QCheckBox::toggled, this, [&ed](bool on) { ed.setPartOnly(on); });
    connect(m_cmboWMV, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [&ed](int i) { ed.setWmvProfileIndex(i); });
    connect(m_cmboAVI, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [&ed](int i) { ed.setAviProfileIndex(i); });
    connect(m_cmdCreateWMV, &QPushButton::clicked, this, [this] { m_output->CreateWmv(); });
    connect(m_cmdCreateAVI, &QPushButton::clicked, this, [this] { m_output->CreateAvi(); });
    connect(m_cmdPreview, &QPushButton::clicked, this, [this] { m_output->Preview(); });

    connect(&ed, &Editor::labelsChanged, this, &frmMain::refreshLabels);
    connect(&ed, &Editor::tableChanged, m_grid, &RowTableView::followCurrentRow, Qt::QueuedConnection);
}

// ---- start-up ------------------------------------------------------------------------

void frmMain::Form_Load()
{
    Editor& ed = *m_editor;
    setWindowTitle(QtUi::applicationTitle());
    m_lblRow->clear();
    m_lblSndRangeMsec->clear();
    m_lblVidRangeMsec->clear();
    ed.setMsg(QStringLiteral("ﾚﾃﾞｨ"));
    ed.setLastEffectName(QStringLiteral("ﾌｪｰﾄﾞ"));
    ed.args() = EditorArguments(m_arguments);
    ed.setModified(false);

    m_combSndRate->addItems(SpeedListTexts());
    m_combSndRate->setCurrentIndex(6);
    m_cmboWMV->addItems(WmvListTexts());
    m_cmboAVI->addItems(AviListTexts());

    // Players first, so the panels that drive them exist before anything refers to them.
    m_sndPlayer = m_engineFactory();
    m_vidPlayer = m_engineFactory();
    m_beepPlayer = m_engineFactory();
    m_sound = std::make_unique<SoundPanel>(ed, *m_sndPlayer, m_beepPlayer.get());
    m_sound->setVideoWindow(m_picSndPlay);
    m_video = std::make_unique<VideoPanel>(ed, *m_vidPlayer);
    ed.setPanels(m_sound.get(), m_video.get());
    m_project = std::make_unique<ProjectFile>(ed);
    // Reopened projects get their media sizes back from the files themselves.
    ProjectFile::setMediaSizeProbe([](const QString& path, int& width, int& height) {
        MediaInfo info;
        if (!ProbeMediaInfo(path, info))
            return false;
        width = info.width;
        height = info.height;
        return true;
    });
    ConnectProjectCommands(ed, *m_project);
    m_import = std::make_unique<ClipImport>(ed);
    m_clipboard = std::make_unique<VideoClipboard>(ed);
    ConnectClipboardCommands(ed, *m_clipboard);
    m_output = std::make_unique<OutputDriver>(ed);
    m_ui->setEffectDialogOpener([this](int row) { openEffectDialog(row); });
    connectControls();

    readSettings();

    // The row table: 12 columns, the header, the widths; one empty section.
    ed.Grid().setCols(Col::Count);
    ed.Grid().writeHeader();
    m_grid->setUpColumns();
    m_ui->setTable(m_grid);
    m_ui->setSoundSlider(m_sliderSnd);
    m_sliderSnd->setMaximum(100);
    m_sliderSnd->setTickInterval(1);

    ed.SndClear();
    ed.Grid().currentRow = 1;
    ed.Grid().currentCol = 0;
    ed.setDraggedRange(1, 1);
    ed.tmpgrid().setCols(ed.Grid().Cols());
    ed.tmpgrid().clear();
    Form_Resize();

    // The confirmation sound from the program's own folder, at full volume.
    try {
        QString folder = QCoreApplication::applicationDirPath();
        m_beepPlayer->Open(AddTrailingSeparator(folder) + QStringLiteral("pi.wav"));
        m_beepPlayer->SetVolume(0);
    } catch (const EngineError&) {
    }

    const int version = m_probe ? m_probe() : 0;
    if (version < 0x800) {
        const QString text =
            QStringLiteral("インストールされているDirectXが古いため、正常に動作しない可能性があります。\r\n") +
            QStringLiteral("DirectX8以上にアップデートしてください。 (バージョン検出結果=") +
            QString::number(version, 16).toUpper() + QStringLiteral(")\r\n\r\n") +
            QStringLiteral("最新のDirectXは https://www.debian.org/distrib/packages からダウンロードできます");
        m_ui->message(text, Ui::Icon::Critical);
    }

    show();
    m_frmVid = new frmVid(ed, *m_video, this);
    // Closing the panel (after its own question) ends the program like the main window.
    connect(m_frmVid, &frmVid::quitRequested, this, [this] {
        m_editor->setModified(false);
        close();
    });
    m_frmVid->show();
    refreshSound();
    refreshLabels();

    // Other programs drive the editor over the session bus; without a bus it simply
    // runs on its own. The object answers from here on, also while a message of the
    // project opening below waits for the user.
    auto* kadro = new KadroAdaptor(ed, *m_sound, *m_video, [this] { quitNow(); }, this);
    kadro->registerOnSessionBus();

    if (ed.args().size() > 1 && !ed.args().at(1).isEmpty())
        m_project->OpenCommand();

    HookWindow(this, m_grid);
}

void frmMain::readSettings()
{
    bool ok = true;
    int v = Settings::readInt(QStringLiteral("WMVProfile"), kDefaultWmvIndex, &ok);
    if (ok && v >= 0 && v < m_cmboWMV->count())
        m_cmboWMV->setCurrentIndex(v);
    v = Settings::readInt(QStringLiteral("AVIProfile"), kDefaultAviIndex, &ok);
    if (ok && v >= 0 && v < m_cmboAVI->count())
        m_cmboAVI->setCurrentIndex(v);
    m_editor->setWmvProfileIndex(m_cmboWMV->currentIndex());
    m_editor->setAviProfileIndex(m_cmboAVI->currentIndex());
    v = Settings::readInt(QStringLiteral("part"), 0, &ok);
    if (ok)
        m_chkPart->setChecked(v == 1);
    v = Settings::readInt(QStringLiteral("sound"), 1, &ok);
    if (ok)
        m_chkSound->setChecked(v == 1);
    m_editor->setPartOnly(m_chkPart->isChecked());
    m_sound->setBeepOn(m_chkSound->isChecked());

    int left = Settings::readInt(QStringLiteral("main_left"), 1000, &ok);
    if (!ok)
        left = tw(x());
    int top = Settings::readInt(QStringLiteral("main_top"), 1000, &ok);
    if (!ok)
        top = tw(y());
    int width = Settings::readInt(QStringLiteral("main_width"), 9695, &ok);
    if (!ok)
        width = tw(this->width());
    int height = Settings::readInt(QStringLiteral("main_height"), 7845, &ok);
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
    Settings::RegValueWrite(QStringLiteral("WMVProfile"), m_cmboWMV->currentIndex());
    Settings::RegValueWrite(QStringLiteral("AVIProfile"), m_cmboAVI->currentIndex());
    Settings::RegValueWrite(QStringLiteral("sound"), m_chkSound->isChecked() ? 1 : 0);
    Settings::RegValueWrite(QStringLiteral("part"), m_chkPart->isChecked() ? 1 : 0);
    Settings::RegValueWrite(QStringLiteral("main_left"), tw(x()));
    Settings::RegValueWrite(QStringLiteral("main_top"), tw(y()));
    Settings::RegValueWrite(QStringLiteral("main_width"), tw(width()));
    Settings::RegValueWrite(QStringLiteral("main_height"), tw(height()));
    Settings::sync();
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
    const int minHeight = tw(m_sliderSnd->height()) + tw(m_frameSnd->height()) + 3000;
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
    for (QWidget* w : {static_cast<QWidget*>(m_btnSndPlayPlause), static_cast<QWidget*>(m_btnSndReg),
                       static_cast<QWidget*>(m_btnSndDel), static_cast<QWidget*>(m_btnUp),
                       static_cast<QWidget*>(m_btnDown), static_cast<QWidget*>(m_cmdPreview),
                       static_cast<QWidget*>(m_btnUndo), static_cast<QWidget*>(m_btnRedo),
                       static_cast<QWidget*>(m_btnVidCut), static_cast<QWidget*>(m_btnVidCopy),
                       static_cast<QWidget*>(m_btnVidPaste), static_cast<QWidget*>(m_cmdCreateAVI),
                       static_cast<QWidget*>(m_cmdCreateWMV)})
        w->setEnabled(on);
    m_btnSndPlayPlause->setIcon(
        style()->standardIcon(s.timerActive() ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void frmMain::refreshLabels()
{
    const Editor& ed = *m_editor;
    m_lblMsg->setText(ed.msg());
    m_lblRow->setText(ed.rowLabel());
    m_lblSndRangeMsec->setText(ed.sndRangeLabel());
    m_lblVidRangeMsec->setText(ed.vidRangeLabel());
}

// ---- keys and drops ----------------------------------------------------------------------

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_sliderSnd && event->type() == QEvent::KeyPress && m_sound) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int code = KeyCode(key->key());
        if (code != 0) {
            m_sound->MainKeyCommand(code, ShiftState(key->modifiers()));
            return true;
        }
    }
    if (watched == m_sliderSnd && m_sound && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = mouse->position().toPoint();
        m_sound->sliderMouseDown(tw(p.x()), tw(p.y()));
    }
    if (watched == m_sliderSnd && m_sound && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = mouse->position().toPoint();
        m_sound->sliderMouseUp(tw(p.x()), tw(p.y()), tw(m_sliderSnd->width()));
    }
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
    if (!m_editor->askSaveChanges())
        return;
    m_editor->setModified(false);
    m_editor->SndClear();
    m_sound->rewind();
    m_editor->setMsg(QStringLiteral("新しいプロジェクト"));
    m_ui->focusSoundSlider();
}

void frmMain::openEffectDialog(int row)
{
    if (!m_frmEffect)
        m_frmEffect = new frmEffect(*m_editor, this);
    m_frmEffect->openForRow(row);
}

// ---- closing ---------------------------------------------------------------------------------

bool frmMain::Form_QueryUnload()
{
    if (!m_editor->modified())
        return true;
    if (!m_ui->askYesNo(QStringLiteral("プロジェクトファイルが保存されていません。保存せずに終了しますか？"),
                        Ui::Icon::Exclamation))
        return false;
    m_editor->setModified(false);
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
    UnhookWindow(this);
    if (m_output)
        for (const QString& path : m_output->temporaryDocuments())
            QFile::remove(path);
    if (m_sound)
        m_sound->halt();
    if (m_frmVid) {
        m_frmVid->closeForShutdown();
        // The panel's window may be the one whose close brought us here, with its close
        // handling still on the stack: it goes once control is back in the event loop
        // (or with this window). The player stops drawing into it now, before the panel
        // and the players go below.
        if (m_video)
            m_video->setVideoWindow(nullptr);
        if (m_vidPlayer) {
            try {
                m_vidPlayer->SetVideoWindow(nullptr);
            } catch (const EngineError&) {
            }
        }
        m_frmVid->deleteLater();
    }
    if (m_frmEffect)
        delete m_frmEffect;
    if (m_sound)
        writeSettings();
    m_editor->setPanels(nullptr, nullptr);
    m_video.reset();
    m_sound.reset();
    m_beepPlayer.reset();
    m_sndPlayer.reset();
    m_vidPlayer.reset();
}

void frmMain::quitNow()
{
    m_unloaded = true;
    m_quitRequested = true;
    QCoreApplication::exit(0);
}

} // namespace vk
