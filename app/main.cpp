#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marlocket"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Marlocket"));
    window.resize(800, 600);
    window.show();
    return app.exec();
}
