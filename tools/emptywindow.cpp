// The yardstick of tools/startbench.sh: an empty Qt window, shown as soon as the
// application object exists.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("empty window"));
    window.resize(400, 300);
    window.show();
    return QApplication::exec();
}
