// The yardstick of the start-up bench: a bare Qt window of a given size,
// linked with Qt Widgets alone, that prints the moment of its first paint
// (CLOCK_MONOTONIC, ns) and ends.   bench_bare_window WIDTH HEIGHT
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

class BareWindow : public QWidget {
protected:
    void paintEvent(QPaintEvent *event) override
    {
        QWidget::paintEvent(event);
        if (seen_)
            return;
        seen_ = true;
        QTimer::singleShot(0, [] {
            timespec ts;
            clock_gettime(CLOCK_MONOTONIC, &ts);
            std::printf("shown %lld\n", static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }

private:
    bool seen_ = false;
};

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int width = argc >= 3 ? std::atoi(argv[1]) : 520;
    const int height = argc >= 3 ? std::atoi(argv[2]) : 340;
    BareWindow window;
    window.setFixedSize(width, height);
    window.show();
    return app.exec();
}
