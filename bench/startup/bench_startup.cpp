// Two figures of the main window:
//  - start-up: from the start of a new process to the main window shown
//    (first painted), over several runs; the child runs the very start-up of
//    the program (app/program.h) in a program folder of its own. Each run is
//    followed by one of a bare Qt window of the same size on the same
//    platform (bench_bare_window), and the ratio of the two is reported, so
//    that a loaded machine weighs on both alike;
//  - idle: CPU time the real program uses over 10 s while it sits idle with
//    the pilgrim walking, read from /proc/<pid>/stat.
//
//   bench_startup [runs]          (uses $DISPLAY, or QT_QPA_PLATFORM=offscreen)
#include "app/mainform.h"
#include "app/program.h"
#include "common/paths.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Prints the moment the main window has been painted for the first time.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Paint && !seen_ && widget) {
            seen_ = true;
            const QSize size = widget->window()->size();
            QTimer::singleShot(0, [size] {
                std::printf("shown %lld\nsize %d %d\n", static_cast<long long>(monotonicNs()), size.width(),
                            size.height());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

int runChild(int argc, char **argv, const QString &folder)
{
    QApplication app(argc, argv);
    korvane::app::prepareApplication(app);
    korvane::paths::setProgramFolder(folder);
    FirstPaint watcher;
    app.installEventFilter(&watcher);
    if (!korvane::app::startProgram())
        return 1;
    return app.exec();
}

void copyData(const QString &to)
{
    const QString from = QStringLiteral(KORVANE_SOURCE_DATA);
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(file);
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::copy(file, target);
    }
    QFile ini(to + "/pelnix.ini");
    if (ini.open(QIODevice::WriteOnly))
        ini.write("SMTP=127.0.0.1\r\nPOP3=127.0.0.1\r\nMAIL=bench@example.test\r\nAPOP=0\r\n");
}

QProcessEnvironment isolated(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    return env;
}

// User and system time of every child waited for so far, in ms.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// utime + stime of a process, in clock ticks.
long long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return f.value(11).toLongLong() + f.value(12).toLongLong();  // fields 14 and 15
}

// Nanoseconds on the CPU of every thread of a process (schedstat), or -1.
long long cpuNs(qint64 pid)
{
    long long total = 0;
    bool any = false;
    QDirIterator it(QStringLiteral("/proc/%1/task").arg(pid), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        QFile f(it.next() + "/schedstat");
        if (!f.open(QIODevice::ReadOnly))
            continue;
        total += f.readAll().split(' ').value(0).toLongLong();
        any = true;
    }
    return any ? total : -1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    const int runs = argc >= 2 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir work;
    const QString program = work.path() + "/program";
    const QString home = work.path() + "/home";
    QDir().mkpath(program);
    QDir().mkpath(home);
    copyData(program);

    QTextStream out(stdout);
    out << "platform: " << (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ? qgetenv("QT_QPA_PLATFORM")
                                                                          : QByteArray("default ($DISPLAY)"))
        << "\n";

    // Start-up to the main window shown, each run followed by the bare
    // window of the same size.
    std::vector<double> ms, bareMs, ratios, cpuMs, bareCpuMs, cpuRatios;
    double lastCpuMs = 0;
    QStringList size{"520", "340"};
    auto timeToShown = [&](const QString &executable, const QStringList &arguments, int run) -> double {
        QProcess child;
        child.setProcessEnvironment(isolated(home));
        const double cpuBefore = childrenCpuMs();
        const qint64 started = monotonicNs();
        child.start(executable, arguments);
        if (!child.waitForFinished(30000)) {
            out << QFileInfo(executable).fileName() << " run " << run << " did not finish\n";
            return -1;
        }
        lastCpuMs = childrenCpuMs() - cpuBefore;
        const QByteArray reply = child.readAllStandardOutput();
        const int at = reply.indexOf("shown ");
        if (at < 0) {
            out << QFileInfo(executable).fileName() << " run " << run
                << " did not show its window: " << child.readAllStandardError() << "\n";
            return -1;
        }
        const QList<QByteArray> lines = reply.mid(at).split('\n');
        const qint64 shown = lines.value(0).mid(6).trimmed().toLongLong();
        if (lines.value(1).startsWith("size "))
            size = QString::fromLatin1(lines.value(1).mid(5).trimmed()).split(u' ');
        return (shown - started) / 1e6;
    };
    const QString bare = QCoreApplication::applicationDirPath() + "/bench_bare_window";
    for (int i = 0; i < runs; ++i) {
        const double own = timeToShown(QCoreApplication::applicationFilePath(), {"--child", program}, i);
        const double ownCpu = lastCpuMs;
        const double yardstick = timeToShown(bare, size, i);
        if (own < 0 || yardstick < 0)
            return 1;
        ms.push_back(own);
        bareMs.push_back(yardstick);
        ratios.push_back(own / yardstick);
        cpuMs.push_back(ownCpu);
        bareCpuMs.push_back(lastCpuMs);
        if (lastCpuMs > 0)
            cpuRatios.push_back(ownCpu / lastCpuMs);
    }
    for (auto *v : {&ms, &bareMs, &ratios, &cpuMs, &bareCpuMs, &cpuRatios})
        std::sort(v->begin(), v->end());
    out << QString("start-up to main window shown, %1 runs: median %2 ms, min %3 ms, max %4 ms (goal < 300 ms)\n")
               .arg(runs)
               .arg(ms[ms.size() / 2], 0, 'f', 1)
               .arg(ms.front(), 0, 'f', 1)
               .arg(ms.back(), 0, 'f', 1);
    out << QString("bare Qt window of %1 x %2, %3 runs: median %4 ms, min %5 ms, max %6 ms\n")
               .arg(size.value(0), size.value(1))
               .arg(runs)
               .arg(bareMs[bareMs.size() / 2], 0, 'f', 1)
               .arg(bareMs.front(), 0, 'f', 1)
               .arg(bareMs.back(), 0, 'f', 1);
    out << QString("start-up ratio to the bare window: %1 (median of the runs' own ratios; %2 by the medians) "
                   "(goal <= 1.5)\n")
               .arg(ratios[ratios.size() / 2], 0, 'f', 2)
               .arg(ms[ms.size() / 2] / bareMs[bareMs.size() / 2], 0, 'f', 2);
    // CPU time (user + system) of the whole child process, which a loaded
    // machine disturbs far less than the time on the clock.
    if (!cpuRatios.empty())
        out << QString("CPU time to shown: median %1 ms against %2 ms for the bare window, ratio %3 "
                       "(median of the runs' own ratios)\n")
                   .arg(cpuMs[cpuMs.size() / 2], 0, 'f', 1)
                   .arg(bareCpuMs[bareCpuMs.size() / 2], 0, 'f', 1)
                   .arg(cpuRatios[cpuRatios.size() / 2], 0, 'f', 2);
    out.flush();

    // The real program, idle, for 10 s after it has settled.
    const QString korvane = QCoreApplication::applicationDirPath() + "/korvane";
    QFile::copy(korvane, program + "/korvane");
    QFile(program + "/korvane").setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess idle;
    idle.setProcessEnvironment(isolated(home));
    idle.start(program + "/korvane", {});
    if (!idle.waitForStarted(10000)) {
        out << "the program did not start\n";
        return 1;
    }
    QThread::sleep(2);
    const long long ticksBefore = cpuTicks(idle.processId());
    const long long nsBefore = cpuNs(idle.processId());
    QElapsedTimer clock;
    clock.start();
    QThread::sleep(10);
    const long long ticksAfter = cpuTicks(idle.processId());
    const long long nsAfter = cpuNs(idle.processId());
    const double seconds = clock.nsecsElapsed() / 1e9;
    // Threads that ended meanwhile drop out of schedstat; the tick count of
    // /proc/<pid>/stat keeps them, at 10 ms resolution.
    const double cpuSeconds = nsBefore >= 0 && nsAfter >= nsBefore
                                  ? (nsAfter - nsBefore) / 1e9
                                  : double(ticksAfter - ticksBefore) / double(sysconf(_SC_CLK_TCK));
    out << QString("idle with the pilgrim walking, %1 s: %2 ms of CPU = %3 % of one core (goal < 1 %; "
                   "%4 clock ticks in /proc/<pid>/stat)\n")
               .arg(seconds, 0, 'f', 1)
               .arg(cpuSeconds * 1000, 0, 'f', 1)
               .arg(100.0 * cpuSeconds / seconds, 0, 'f', 3)
               .arg(ticksAfter - ticksBefore);
    idle.kill();
    idle.waitForFinished(5000);
    return 0;
}
