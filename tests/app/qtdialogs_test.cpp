// The editor's question with buttons of its own, as the real message box shows it
// offscreen: the buttons in the order given, the one clicked is the answer, and Escape
// chooses the last one.
#include "app/qtdialogs.h"
#include "tests/support/testapp.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace vk {
namespace {

class QtDialogsChoice : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::EnsureGuiApp("app_qtdialogs_test"); }

    // Asks, and while the box is up hands it to `answer`; what the box showed is kept.
    int ask(const std::function<void(QMessageBox&)>& answer)
    {
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible())
                    continue;
                poll.stop();
                text = box->text();
                title = box->windowTitle();
                shown.clear();
                for (QAbstractButton* b : box->buttons())
                    shown << b->text();
                answer(*box);
                return;
            }
        });
        poll.start();
        return dialogs.askChoice(QStringLiteral("質問です。"), UserDialogs::Icon::Exclamation, buttons);
    }

    static void click(QMessageBox& box, const QString& label)
    {
        for (QAbstractButton* b : box.buttons())
            if (b->text() == label)
                b->click();
    }

    QtDialogs dialogs;
    const QStringList buttons{QStringLiteral("読み取り専用で開く"), QStringLiteral("そのまま開く"),
                              QStringLiteral("キャンセル")};
    QString text, title;
    QStringList shown;
};

TEST_F(QtDialogsChoice, TheButtonClickedIsTheAnswer)
{
    EXPECT_EQ(ask([&](QMessageBox& box) { click(box, buttons[1]); }), 1);
    EXPECT_EQ(text, QStringLiteral("質問です。"));
    EXPECT_EQ(title, QtDialogs::applicationTitle());
    QStringList sorted = shown;
    sorted.sort();
    QStringList expected = buttons;
    expected.sort();
    EXPECT_EQ(sorted, expected);
    EXPECT_EQ(ask([&](QMessageBox& box) { click(box, buttons[0]); }), 0);
    EXPECT_EQ(ask([&](QMessageBox& box) { click(box, buttons[2]); }), 2);
}

TEST_F(QtDialogsChoice, EscapeChoosesTheLastButton)
{
    EXPECT_EQ(ask([](QMessageBox& box) {
                  QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                  QApplication::sendEvent(&box, &press);
              }),
              2);
}

} // namespace
} // namespace vk
