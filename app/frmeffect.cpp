#include "app/frmeffect.h"

#include "timeline/editor.h"
#include "timeline/effects.h"

#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vk {

frmEffect::frmEffect(Editor& editor, SettingsStore& settings, QWidget* owner)
    : QDialog(owner), m_editor(editor), m_settings(settings), m_owner(owner)
{
    setObjectName(QStringLiteral("frmEffect"));
    setWindowTitle(QStringLiteral("効果設定"));
    setModal(false);

    combTrans = new QComboBox(this);
    combTrans->setObjectName(QStringLiteral("combTrans"));
    combTrans->setEditable(false);
    txtTransDur = new QLineEdit(this);
    txtTransDur->setObjectName(QStringLiteral("txtTransDur"));
    txtTransDur->setText(Effects::defaultDuration());
    OKButton = new QPushButton(QStringLiteral("更新"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("映像効果"), this), 0, 0);
    layout->addWidget(combTrans, 0, 1, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("映像効果の長さ"), this), 1, 0);
    layout->addWidget(txtTransDur, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("msec"), this), 1, 2);
    layout->addWidget(OKButton, 2, 1, 1, 2, Qt::AlignRight);

    connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
}

frmEffect::~frmEffect() = default;

void frmEffect::load()
{
    if (m_owner)
        setWindowIcon(m_owner->windowIcon());
    combTrans->clear();
    combTrans->addItems(Effects::names());
    txtTransDur->setText(Effects::loadDuration(m_settings, m_editor.Grid(), KeepMouseRow));
    combTrans->setCurrentIndex(Effects::loadIndex(m_editor.Grid(), KeepMouseRow));
}

void frmEffect::openForRow(int row)
{
    KeepMouseRow = row;
    if (isVisible())
        hide();
    load();
    const QPoint pointer = QCursor::pos();
    move(pointer.x() + kPointerOffsetX, pointer.y() + kPointerOffsetY);
    show();
}

void frmEffect::OKButton_Click()
{
    // A duration the update refuses keeps the dialog open for a correction.
    if (Effects::update(m_editor, m_settings, KeepMouseRow, combTrans->currentIndex(), txtTransDur->text()))
        close();
}

} // namespace vk
