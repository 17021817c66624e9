#include "web/aboutdialog.h"

#include "base/version.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vk {

AboutDialog::AboutDialog(QWidget* mainWindow) : QDialog(mainWindow)
{
    setObjectName(QStringLiteral("AboutDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    if (mainWindow) {
        setWindowTitle(mainWindow->windowTitle());
        setWindowIcon(mainWindow->windowIcon());
    }

    auto* layout = new QVBoxLayout(this);
    auto* lblTitle = new QLabel(QStringLiteral("videokadro"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    lblTitle->setFont(big);
    auto* lblVersion = new QLabel(QStringLiteral("バージョン ") + versionLine(), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    layout->addWidget(lblTitle);
    layout->addWidget(lblVersion);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    layout->addWidget(buttons);
    // The button unloads the dialog (WA_DeleteOnClose).
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::versionLine()
{
    QString dotted = VersionText();
    dotted.replace(QLatin1Char('_'), QLatin1Char('.'));
    return dotted + QStringLiteral(" (") + VersionText() + QStringLiteral(")");
}

} // namespace vk
