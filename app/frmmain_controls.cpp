// The main window's controls and menus: their creation, names, places (in twips, as
// the layout rule and the stored settings count) and the menu commands.

#include "app/frmmain.h"

#include "app/shotfillcommand.h"

#include "app/beatassist.h"
#include "app/droplineedit.h"
#include "app/rangeslider.h"
#include "app/rowtablemodel.h"
#include "app/rowtableview.h"
#include "app/shotfillcommand.h"
#include "base/twips.h"
#include "media/analysis/beatanalysis.h"
#include "media/mpv/videowidget.h"
#include "media/soundpanel.h"
#include "project/clipimport.h"
#include "project/projectfile.h"
#include "render/exportcommand.h"
#include "render/outputdriver.h"
#include "timeline/clipboard.h"
#include "timeline/editor.h"
#include "timeline/resplit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace vk {

namespace {
int px(int twips)
{
    return TwipsToPixels(twips);
}

void place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(px(left), px(top), px(width), px(height));
}

} // namespace

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
    m_playIcon = style()->standardIcon(QStyle::SP_MediaPlay);
    m_pauseIcon = style()->standardIcon(QStyle::SP_MediaPause);
    m_btnSndPlayPlause->setIcon(m_playIcon);
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

    m_sliderSnd = new RangeSlider(RangeSlider::ClickRule::PassThrough, central);
    named(m_sliderSnd, "sliderSnd");
    m_sliderSnd->setTickPosition(QSlider::TicksBelow);
    m_sliderSnd->setPageStep(0);
    m_sliderSnd->setFocusPolicy(Qt::StrongFocus);
    m_sliderSnd->onKey = [this](Key key, int shift) {
        if (!m_sound)
            return false;
        m_sound->MainKeyCommand(key, shift);
        return true;
    };
    m_sliderSnd->onMouseDown = [this](int x, int y) {
        if (m_sound)
            m_sound->sliderMouseDown(x, y);
    };
    m_sliderSnd->onMouseUp = [this](int x, int y, int width) {
        if (m_sound)
            m_sound->sliderMouseUp(x, y, width);
    };
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
    m_btnVidCut =
        button("btnVidCut", QStringLiteral("映像切取"), QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲の映像登録をｶｯﾄ"));
    place(m_btnVidCut, 2350, 2160, 1100, 390);
    m_btnVidCopy =
        button("btnVidCopy", QStringLiteral("映像複写"), QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲の映像登録をｺﾋﾟｰ"));
    place(m_btnVidCopy, 3500, 2160, 1100, 390);
    m_btnVidPaste = button("btnVidPaste", QStringLiteral("映像貼付"),
                           QStringLiteral("ｶｯﾄまたはｺﾋﾟｰされた映像登録を選択行以降にﾍﾟｰｽﾄ"));
    place(m_btnVidPaste, 4650, 2160, 1100, 390);
    m_btnSndDel = button("btnSndDel", QStringLiteral("行削除"), QStringLiteral("ﾄﾞﾗｯｸﾞ選択した音声区間範囲を削除(E)"));
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
    place(m_frameSave, 120, 2640, 9220, 1370);

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
    m_cmboMP4 = new QComboBox(m_frameSave);
    named(m_cmboMP4, "cmboMP4")->setToolTip(QStringLiteral("出力形式選択"));
    place(m_cmboMP4, 90, 940, 3200, 360);
    m_cmdCreateMP4 = new QPushButton(QStringLiteral("MP4 作成"), m_frameSave);
    named(m_cmdCreateMP4, "cmdCreateMP4")->setToolTip(QStringLiteral("MP4ファイル作成（H.264/AAC）"));
    place(m_cmdCreateMP4, 3360, 925, 1300, 390);

    m_lblRow = new QLabel(central);
    named(m_lblRow, "lblRow");
    place(m_lblRow, 120, 4100, 900, 300);
    m_lblSndRangeMsec = new QLabel(central);
    named(m_lblSndRangeMsec, "lblSndRangeMsec");
    place(m_lblSndRangeMsec, 900, 4100, 2100, 300);
    m_lblVidRangeMsec = new QLabel(central);
    named(m_lblVidRangeMsec, "lblVidRangeMsec");
    place(m_lblVidRangeMsec, 3050, 4100, 2100, 300);
    m_lblUsage = new QLabel(QStringLiteral("左ｸﾘｯｸ=行選択、右ｸﾘｯｸ(+SHIFT/CTRL)=ｼｰｸ(+再生)"), central);
    named(m_lblUsage, "lblUsage")->setToolTip(QStringLiteral("SPC=再生/停止、矢印ｷｰ=コマ送り/早送り、A=音声区間登録"));
    place(m_lblUsage, 5200, 4100, 4600, 300);

    m_grid = new RowTableView(m_editor, central);
    named(m_grid, "Grid");
    m_model = new RowTableModel(m_editor, this);
    m_grid->setModel(m_model);
    place(m_grid, 120, 4430, 9220, 2800);

    m_lblMsg = new QLabel(central);
    named(m_lblMsg, "lblMsg");
    place(m_lblMsg, 120, 7340, 9220, 300);

    for (QWidget* w :
         {static_cast<QWidget*>(m_label1), static_cast<QWidget*>(m_lblSndRate), static_cast<QWidget*>(m_lblRow),
          static_cast<QWidget*>(m_lblSndRangeMsec), static_cast<QWidget*>(m_lblVidRangeMsec),
          static_cast<QWidget*>(m_lblUsage), static_cast<QWidget*>(m_lblMsg)})
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
    action(file, "mnuProjectOpen", QStringLiteral("プロジェクトを開く(&O)"), [this] { m_project.OpenCommand(); });
    action(file, "mnuProjectSave", QStringLiteral("プロジェクトを保存する(&S)"), [this] { m_project.SaveCommand(); });
    action(file, "mnuProjectSaveAs", QStringLiteral("プロジェクトを別名で保存する(&A)"),
           [this] { m_project.SaveAsCommand(); });
    file->addSeparator();
    action(file, "mnuVidImport", QStringLiteral("プロジェクトファイルから映像クリップのみインポートする(&I)"),
           [this] { m_import.ImportCommand(); });
    QMenu* exportMenu = file->addMenu(QStringLiteral("書き出し(&E)"));
    exportMenu->setObjectName(QStringLiteral("mnuExport"));
    auto exportTo = [this](ExportKind kind) {
        BeatMarks marks;
        if (m_beats) {
            marks.beatsMs = m_beats->analysis().beatsMs;
            marks.barsMs = m_beats->analysis().downbeatsMs;
        }
        m_exports.Export(kind, marks);
    };
    action(exportMenu, "mnuExportShotcut", QStringLiteral("Shotcut プロジェクト (.mlt)"),
           [exportTo] { exportTo(ExportKind::Shotcut); });
    action(exportMenu, "mnuExportKdenlive", QStringLiteral("Kdenlive プロジェクト (.kdenlive)"),
           [exportTo] { exportTo(ExportKind::Kdenlive); });
    action(exportMenu, "mnuExportOtio", QStringLiteral("OpenTimelineIO (.otio)"),
           [exportTo] { exportTo(ExportKind::Otio); });
    action(exportMenu, "mnuExportEdl", QStringLiteral("EDL (CMX 3600) (.edl)"),
           [exportTo] { exportTo(ExportKind::Edl); });
    file->addSeparator();
    action(file, "mnuQuit", QStringLiteral("終了(&Q)"), [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    m_mnuUndo = action(edit, "mnuUndo", QStringLiteral("Undo(&U)"), [this] { m_editor.history().Undo(); });
    m_mnuRedo = action(edit, "mnuRedo", QStringLiteral("Redo(&R)"), [this] { m_editor.history().Redo(); });
    // The keys every editor has, as well as the buttons and the menu. A control that
    // uses the key itself (a text box's own undo) keeps it.
    m_mnuUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_mnuRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    edit->addSeparator();
    action(edit, "mnuCut", QStringLiteral("映像切取(&X)"), [this] { m_clipboard.Cut(); });
    action(edit, "mnuCopy", QStringLiteral("映像複写(&C)"), [this] { m_clipboard.Copy(); });
    action(edit, "mnuPaste", QStringLiteral("映像貼付(&V)"), [this] { m_clipboard.Paste(); });
    edit->addSeparator();
    action(edit, "mnuCutUp", QStringLiteral("映像切取＆上に詰める(&Z)"), [this] { m_clipboard.CutUp(); });
    action(edit, "mnuPasteInsert", QStringLiteral("映像挿入貼付(&I)"), [this] { m_clipboard.InsertPaste(); });
    edit->addSeparator();
    action(edit, "mnuVidSplit", QStringLiteral("映像速度変更（映像区間の再分割）(&J)"),
           [this] { VideoResplit(m_editor).VidSplit(); });
    edit->addSeparator();
    action(edit, "mnuSndSameSplit", QStringLiteral("音声区間の等間隔化(&K)"),
           [this] { m_editor.sections().SndSameSplit(); });
    action(edit, "mnuSndSplit", QStringLiteral("音声区間分割(&L)"), [this] { m_editor.sections().SndSplit(); });
    edit->addSeparator();
    action(edit, "mnuShotFill", QStringLiteral("映像で区間を埋める(&F)..."), [this] {
        // Sections with more onsets get livelier shots, when the song has been analysed.
        std::vector<double> onsets;
        if (m_beats)
            onsets = m_beats->analysis().onsetsMs;
        ShotFillCommand(m_editor, m_settings, std::move(onsets)).exec(this);
    });

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    action(help, "mnuUpdate", QStringLiteral("最新バージョンチェック(&U)"),
           [this] { OpenMakerPage(m_ui, m_urlOpener, QStringLiteral("/service/servlet/update")); });
    action(help, "mnuSupport", QStringLiteral("サポート(&S)"),
           [this] { OpenMakerPage(m_ui, m_urlOpener, QStringLiteral("/service/servlet/support")); });
    action(help, "mnuRanking", QStringLiteral("YouTube 人気動画 ランキング(&R)"),
           [this] { OpenMakerPage(m_ui, m_urlOpener, QStringLiteral("/youtube/ranking.php")); });
    help->addSeparator();
    action(help, "mnuVersion", QStringLiteral("バージョン(&A)"), [this] { emit aboutRequested(); });
}

} // namespace vk
