#include "app/shotfilldialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QVBoxLayout>

namespace vk {

ShotFillDialog::ShotFillDialog(const ShotFillChoices& c, QWidget* parent) : QDialog(parent), m_seed(c.seed)
{
    setWindowTitle(QStringLiteral("映像で区間を埋める"));
    setObjectName(QStringLiteral("dlgShotFill"));
    auto* layout = new QVBoxLayout(this);

    auto* sources = new QGroupBox(QStringLiteral("素材"), this);
    auto* sl = new QVBoxLayout(sources);
    m_files = new QRadioButton(QStringLiteral("ファイル"), sources);
    m_list = new QListWidget(sources);
    m_list->addItems(c.files);
    auto* fileButtons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("追加..."), sources);
    auto* remove = new QPushButton(QStringLiteral("削除"), sources);
    fileButtons->addWidget(add);
    fileButtons->addWidget(remove);
    fileButtons->addStretch();
    m_folder = new QRadioButton(QStringLiteral("フォルダ"), sources);
    auto* folderRow = new QHBoxLayout;
    m_folderEdit = new QLineEdit(c.folder, sources);
    auto* browse = new QPushButton(QStringLiteral("参照..."), sources);
    folderRow->addWidget(m_folderEdit);
    folderRow->addWidget(browse);
    sl->addWidget(m_files);
    sl->addWidget(m_list);
    sl->addLayout(fileButtons);
    sl->addWidget(m_folder);
    sl->addLayout(folderRow);
    (c.fromFolder ? m_folder : m_files)->setChecked(true);
    layout->addWidget(sources);

    auto* rows = new QGroupBox(QStringLiteral("行"), this);
    auto* rl = new QVBoxLayout(rows);
    m_dragged = new QRadioButton(QStringLiteral("ドラッグした範囲"), rows);
    m_toEnd = new QRadioButton(QStringLiteral("現在の行から最後まで"), rows);
    m_onlyEmpty = new QCheckBox(QStringLiteral("映像のない行だけ"), rows);
    (c.draggedRange ? m_dragged : m_toEnd)->setChecked(true);
    m_onlyEmpty->setChecked(c.onlyEmpty);
    rl->addWidget(m_dragged);
    rl->addWidget(m_toEnd);
    rl->addWidget(m_onlyEmpty);
    layout->addWidget(rows);

    auto* speed = new QGroupBox(QStringLiteral("速度"), this);
    auto* spl = new QHBoxLayout(speed);
    m_same = new QRadioButton(QStringLiteral("等速"), speed);
    m_vary = new QRadioButton(QStringLiteral("0.5〜2倍"), speed);
    (c.varySpeed ? m_vary : m_same)->setChecked(true);
    spl->addWidget(m_same);
    spl->addWidget(m_vary);
    layout->addWidget(speed);

    auto* shuffleRow = new QHBoxLayout;
    auto* shuffleButton = new QPushButton(QStringLiteral("シャッフル"), this);
    shuffleButton->setObjectName(QStringLiteral("cmdShuffle"));
    m_seedLabel = new QLabel(this);
    shuffleRow->addWidget(shuffleButton);
    shuffleRow->addWidget(m_seedLabel);
    shuffleRow->addStretch();
    layout->addLayout(shuffleRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);

    // Each radio pair is a group of its own.
    for (auto pair : {std::pair{m_files, m_folder}, std::pair{m_dragged, m_toEnd}, std::pair{m_same, m_vary}}) {
        auto* g = new QButtonGroup(this);
        g->addButton(pair.first);
        g->addButton(pair.second);
    }
    connect(add, &QPushButton::clicked, this, &ShotFillDialog::addFiles);
    connect(remove, &QPushButton::clicked, this, [this] { qDeleteAll(m_list->selectedItems()); });
    connect(browse, &QPushButton::clicked, this, &ShotFillDialog::chooseFolder);
    connect(m_files, &QRadioButton::toggled, this, &ShotFillDialog::updateEnabled);
    connect(shuffleButton, &QPushButton::clicked, this, &ShotFillDialog::shuffle);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_seedLabel->setText(QStringLiteral("案 %1").arg(m_seed));
    updateEnabled();
}

void ShotFillDialog::shuffle()
{
    quint32 next = m_seed;
    while (next == m_seed)
        next = QRandomGenerator::global()->generate();
    m_seed = next;
    m_seedLabel->setText(QStringLiteral("案 %1").arg(m_seed));
}

void ShotFillDialog::addFiles()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("映像ファイル"), QString(),
        QStringLiteral("映像 (*.mp4 *.m4v *.mov *.mkv *.avi *.wmv *.mpg *.mpeg *.webm *.ts *.mts *.m2ts *.flv);;"
                       "すべてのファイル (*)"));
    m_list->addItems(files);
    if (!files.isEmpty())
        m_files->setChecked(true);
}

void ShotFillDialog::chooseFolder()
{
    const QString dir = QFileDialog::getExistingDirectory(this, QStringLiteral("映像のフォルダ"), m_folderEdit->text());
    if (!dir.isEmpty()) {
        m_folderEdit->setText(dir);
        m_folder->setChecked(true);
    }
}

void ShotFillDialog::updateEnabled()
{
    m_list->setEnabled(m_files->isChecked());
    m_folderEdit->setEnabled(m_folder->isChecked());
}

ShotFillChoices ShotFillDialog::choices() const
{
    ShotFillChoices c;
    c.fromFolder = m_folder->isChecked();
    for (int i = 0; i < m_list->count(); ++i)
        c.files << m_list->item(i)->text();
    c.folder = m_folderEdit->text();
    c.draggedRange = m_dragged->isChecked();
    c.onlyEmpty = m_onlyEmpty->isChecked();
    c.varySpeed = m_vary->isChecked();
    c.seed = m_seed;
    return c;
}

} // namespace vk
