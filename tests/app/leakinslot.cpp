// A program that leaks on purpose, for the sanitizer build only: a window with text is
// drawn (so Qt, fontconfig and the font engine fill their caches), then a timer's slot
// allocates a block and drops it. tests/CMakeLists.txt runs it under the test
// environment with the leak suppressions and expects LeakSanitizer to report that one
// block, and nothing else: the suppressions may hide the libraries' own caches, never a
// leak of ours that happens to be called from Qt's event loop.
#include <QApplication>
#include <QLabel>
#include <QObject>
#include <QPixmap>
#include <QTimer>

#include <cstring>

namespace {

// The size of the block the slot loses, for the test to find it in the report.
constexpr int kLostBytes = 4242;

class Forgetful : public QObject {
    Q_OBJECT
public slots:
    void onTimeout()
    {
        auto* block = new char[kLostBytes];
        std::memset(block, 0x5a, kLostBytes);
        lastByte = block[kLostBytes - 1];
        QCoreApplication::quit();
    }

public:
    char lastByte = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Ab 12 テスト"));
    label.show();
    const QPixmap drawn = label.grab();

    Forgetful forgetful;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &forgetful, &Forgetful::onTimeout);
    timer.start(10);
    const int status = app.exec();
    return status == 0 && !drawn.isNull() && forgetful.lastByte == 0x5a ? 0 : 1;
}

#include "leakinslot.moc"
