// The start-up baseline: the least a Qt Widgets program does to show one painted window with one
// label. It says "first paint" on stderr once its first frame is out (as velqa does with
// VELQA_DEBUG=1), saves the window as a PNG the way velqa --screenshot does, then exits.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <functional>
#include <utility>

namespace {

// Runs `then` once, after the first expose of the watched window has been handled.
class FirstExpose : public QObject {
  public:
    explicit FirstExpose(std::function<void()> then) : then_(std::move(then)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && !done_) {
            done_ = true;
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, then_);
        }
        return false;
    }

  private:
    std::function<void()> then_;
    bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QLabel label(QStringLiteral("ZARN VELQA R260"));
    label.resize(800, 572);
    int code = 0;
    FirstExpose watch([&] {
        std::fputs("first paint\n", stderr);
        std::fflush(stderr);
        if (!label.grab().save(QString::fromLocal8Bit(argv[1]), "PNG"))
            code = 1;
        QApplication::quit();
    });
    label.winId();  // the native window exists before it is shown, so its expose is seen
    label.windowHandle()->installEventFilter(&watch);
    label.show();
    QApplication::exec();
    return code;
}
