// The editor's question with buttons of its own, as the real message box shows it
// offscreen: the buttons in the order given, the one clicked is the answer, and Escape
// chooses the last one. The file questions on the window's one file dialog: each shows
// its own title, filter and name and nothing of the last answer, and a question asked
// while the dialog is up gets a dialog of its own. A name typed with its completion list
// up and Enter leaves no list behind: the next key goes to the window.
#include "app/qtdialogs.h"
#include "tests/support/pump.h"
#include "tests/support/testapp.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

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

class FileQuestions : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testsupport::EnsureGuiApp("app_qtdialogs_test"); }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"a.rem", "b.wav"}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        window.resize(400, 300);
        window.show();
        dialogs.setWindow(&window);
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [this] { answerNewDialogs(); });
        poll.start();
    }

    struct Shown {
        QFileDialog* dialog;
        QString title;
        QStringList filters;
        QString name;
        QStringList selected;
        QFileDialog::AcceptMode mode;
    };

    // Each file dialog that shows is noted and handed to `answer` with its number. One
    // left up by `answer` counts as seen until it goes.
    void answerNewDialogs()
    {
        for (auto it = seen.begin(); it != seen.end();)
            it = (*it)->isVisible() ? it + 1 : seen.erase(it);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<QFileDialog*>(w);
            if (!d || !d->isVisible() || std::find(seen.begin(), seen.end(), d) != seen.end())
                continue;
            seen.push_back(d);
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            shown.push_back({d, d->windowTitle(), d->nameFilters(), name ? name->text() : QStringLiteral("<none>"),
                             d->selectedFiles(), d->acceptMode()});
            answer(*d, int(shown.size()) - 1);
            // Answered at once: its next showing is a new question.
            if (!d->isVisible())
                seen.erase(std::find(seen.begin(), seen.end(), d));
        }
    }

    // As typed: with the focus in the name field, what it says is the answer, whatever
    // was highlighted in the list before.
    static void typeAndAccept(QFileDialog& d, const QString& name)
    {
        auto* field = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        d.activateWindow();
        field->setFocus();
        EXPECT_TRUE(testsupport::PumpUntil([field] { return field->hasFocus(); }, 5000));
        field->setText(name);
        static_cast<QDialog&>(d).accept();
    }

    static std::string text(const std::optional<QString>& answer)
    {
        return answer ? answer->toStdString() : std::string("<no answer>");
    }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    QTemporaryDir dir;
    QWidget window;
    QtDialogs dialogs;
    QTimer poll;
    std::vector<QFileDialog*> seen;
    std::vector<Shown> shown;
    std::function<void(QFileDialog&, int)> answer;
    const UserDialogs::FileDialog saveProject{QStringLiteral("名前を付けて保存"),
                                              QStringLiteral("プロジェクトファイル (*.rem)"), QStringLiteral("rem"),
                                              QString()};
    const UserDialogs::FileDialog openInput{QStringLiteral("入力ファイルを開く"),
                                            QStringLiteral("音声、動画ファイル (*);;WAV (*.wav)"), QString(),
                                            QString()};
};

TEST_F(FileQuestions, EachQuestionShowsItsOwnFaceAndNothingOfTheLastAnswer)
{
    answer = [&](QFileDialog& d, int i) {
        if (i == 0)
            typeAndAccept(d, QStringLiteral("new"));
        else if (i == 1)
            typeAndAccept(d, QStringLiteral("b.wav"));
        else if (i == 2) {
            static_cast<QDialog&>(d).accept(); // Open with nothing typed or chosen is not an answer
            if (d.isVisible())
                d.reject();
        } else
            d.reject();
    };
    UserDialogs::FileDialog save = saveProject;
    save.fileName = dir.filePath(QStringLiteral("a.rem"));
    EXPECT_EQ(text(dialogs.saveFileName(save)), path("new.rem"));
    EXPECT_EQ(text(dialogs.openFileName(openInput)), path("b.wav"));
    EXPECT_EQ(text(dialogs.openFileName(openInput)), text(std::nullopt));
    EXPECT_EQ(text(dialogs.saveFileName(saveProject)), text(std::nullopt));

    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0].title, saveProject.title);
    EXPECT_EQ(shown[0].filters, QStringList{saveProject.filter});
    EXPECT_EQ(shown[0].name, QStringLiteral("a.rem"));
    EXPECT_EQ(shown[0].mode, QFileDialog::AcceptSave);
    for (int i : {1, 2}) {
        EXPECT_EQ(shown[i].title, openInput.title) << i;
        EXPECT_EQ(shown[i].filters, openInput.filter.split(QStringLiteral(";;"))) << i;
        EXPECT_EQ(shown[i].mode, QFileDialog::AcceptOpen) << i;
        EXPECT_EQ(shown[i].name, QString()) << i;
        EXPECT_EQ(shown[i].selected, QStringList()) << i;
    }
    EXPECT_EQ(shown[3].title, saveProject.title);
    EXPECT_EQ(shown[3].mode, QFileDialog::AcceptSave);
    EXPECT_EQ(shown[3].name, QString()) << "the name saved last time is not offered again";
    // Shown again rather than made anew: a new dialog each time fills Qt's pixmap cache
    // with drawn copies of its icons.
    for (const Shown& s : shown)
        EXPECT_EQ(s.dialog, shown[0].dialog);
}

TEST_F(FileQuestions, AQuestionAskedWhileTheDialogIsUpGetsOneOfItsOwn)
{
    std::optional<QString> inner;
    answer = [&](QFileDialog& d, int i) {
        if (i == 0) {
            QTimer::singleShot(0, [&, dd = &d] {
                inner = dialogs.openFileName(openInput);
                typeAndAccept(*dd, dir.filePath(QStringLiteral("outer")));
            });
        } else {
            typeAndAccept(d, dir.filePath(QStringLiteral("b.wav")));
        }
    };
    EXPECT_EQ(text(dialogs.saveFileName(saveProject)), path("outer.rem"));
    EXPECT_EQ(text(inner), path("b.wav"));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[1].dialog, shown[0].dialog);
    EXPECT_EQ(shown[1].title, openInput.title);
    EXPECT_EQ(shown[1].mode, QFileDialog::AcceptOpen);
}

// Keys as the window system gives them: to the completion list while it is up, else to
// the window that has the focus.
class KeysToWindow final : public QObject {
public:
    QList<int> keys;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            keys << static_cast<QKeyEvent*>(event)->key();
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(FileQuestions, ANameTypedWithItsCompletionsUpAndEnterLeavesNoListBehind)
{
    const QString songs = dir.filePath(QStringLiteral("songs"));
    ASSERT_TRUE(QDir().mkdir(songs));
    for (const char* name : {"song-a.wav", "song-b.wav", "song-c.wav"}) {
        QFile f(songs + QLatin1Char('/') + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QAbstractItemView* list = nullptr;
    for (int question = 0; question < 2; ++question) {
        answer = [&](QFileDialog& d, int) {
            auto* field = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_TRUE(field);
            d.activateWindow();
            field->setFocus();
            ASSERT_TRUE(testsupport::PumpUntil([field] { return field->hasFocus(); }, 5000));
            // The folder is read in the background: the list shows at the first key
            // typed once it is known.
            QTest::keyClicks(field, songs + QStringLiteral("/song"));
            QCompleter* completer = field->completer();
            ASSERT_TRUE(completer);
            list = completer->popup();
            if (!testsupport::PumpUntil([&] { return completer->completionCount() == 3; }, 10000)) {
                d.reject();
                FAIL() << "the folder was never read";
            }
            QTest::keyClick(field, '-');
            if (!testsupport::PumpUntil([&] { return list->isVisible(); }, 10000)) {
                d.reject();
                FAIL() << "the completion list never showed";
            }
            // The rest of the name and Enter, typed while the list is up: the window
            // system hands them to the list.
            for (char c : std::string("b.wav"))
                QTest::keyClick(d.windowHandle(), c);
            QTest::keyClick(d.windowHandle(), Qt::Key_Return);
        };
        EXPECT_EQ(text(dialogs.openFileName(openInput)), (songs + QStringLiteral("/song-b.wav")).toStdString())
            << question;
        ASSERT_TRUE(list);
        window.activateWindow();
        testsupport::PumpUntil([this] { return window.isActiveWindow(); }, 5000);
        EXPECT_FALSE(list->isVisible()) << question;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << question;

        KeysToWindow seen;
        window.installEventFilter(&seen);
        QTest::keyClick(window.windowHandle(), Qt::Key_A);
        window.removeEventFilter(&seen);
        EXPECT_EQ(seen.keys, QList<int>{Qt::Key_A}) << "the key after the dialog went elsewhere; " << question;
    }
}

} // namespace
} // namespace vk
