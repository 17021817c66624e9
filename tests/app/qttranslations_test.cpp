// Qt's standard dialogs speak Japanese whatever the system language: this program runs
// under LANG=C / LC_ALL=C (see desktop.cmake) and still gets Japanese buttons.
#include "app/qttranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

int g_argc = 1;
char g_name[] = "desktop_dialogs_test";
char* g_argv[] = {g_name, nullptr};

QApplication& app()
{
    static QApplication* instance = [] {
        auto* a = new QApplication(g_argc, g_argv);
        return a;
    }();
    return *instance;
}

QStringList buttonTexts(const QWidget& dialog)
{
    QStringList texts;
    for (const QPushButton* button : dialog.findChildren<QPushButton*>())
        texts << button->text();
    return texts;
}

bool hasJapanese(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x3040 && c.unicode() <= 0x9fff)
            return true;
    return false;
}

TEST(QtJapanese, StandardButtonsAreJapaneseUnderTheCLocale)
{
    QApplication& a = app();
    // The environment really is the C locale: without the catalogue Qt speaks English.
    ASSERT_NE(QLocale::system().language(), QLocale::Japanese);
    {
        QMessageBox before(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                           QMessageBox::Yes | QMessageBox::No);
        ASSERT_EQ(before.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
    }

    ASSERT_TRUE(vk::InstallQtJapanese(a));

    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("OK"));

    // Qt's own file dialog (the one used without a desktop portal): the accept button,
    // the labels and the cancel button.
    QFileDialog save(nullptr, QStringLiteral("t"));
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList saveTexts = buttonTexts(save);
    EXPECT_TRUE(saveTexts.contains(QStringLiteral("保存(&S)"))) << saveTexts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(saveTexts.contains(QStringLiteral("キャンセル"))) << saveTexts.join(QLatin1Char('|')).toStdString();

    QFileDialog open(nullptr, QStringLiteral("t"));
    open.setOption(QFileDialog::DontUseNativeDialog);
    const QStringList openTexts = buttonTexts(open);
    EXPECT_TRUE(openTexts.contains(QStringLiteral("開く(&O)"))) << openTexts.join(QLatin1Char('|')).toStdString();

    QInputDialog input;
    input.setLabelText(QStringLiteral("q"));
    input.show(); // the buttons are made when the box is first shown
    const QDialogButtonBox* buttons = input.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    for (const QAbstractButton* b : buttons->buttons())
        EXPECT_TRUE(hasJapanese(b->text()) || b->text() == QStringLiteral("OK")) << b->text().toStdString();
    ASSERT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

} // namespace
