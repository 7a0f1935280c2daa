// The start-up baseline: the least a Qt Widgets program does to show one painted window with one
// label, saved as a PNG the way velqa --screenshot saves its window, then exits.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QLabel label(QStringLiteral("ZARN VELQA R260"));
    label.resize(800, 572);
    label.show();
    int code = 0;
    // Once the event loop runs, the window has been shown and laid out.
    QTimer::singleShot(0, &label, [&] {
        if (!label.grab().save(QString::fromLocal8Bit(argv[1]), "PNG"))
            code = 1;
        QApplication::quit();
    });
    QApplication::exec();
    return code;
}
