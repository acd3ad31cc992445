// Two figures of the main window:
//  - start-up: from the start of a new process to the main window shown
//    (first painted), over several runs; the child runs the very start-up of
//    the program (app/program.h) in a program folder of its own;
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
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

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
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, [] {
                std::printf("shown %lld\n", static_cast<long long>(monotonicNs()));
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

    // Start-up to the main window shown.
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.setProcessEnvironment(isolated(home));
        const qint64 started = monotonicNs();
        child.start(QCoreApplication::applicationFilePath(), {"--child", program});
        if (!child.waitForFinished(30000)) {
            out << "start-up run " << i << " did not finish\n";
            return 1;
        }
        const QByteArray reply = child.readAllStandardOutput();
        const int at = reply.indexOf("shown ");
        if (at < 0) {
            out << "start-up run " << i << " did not show its window: " << child.readAllStandardError() << "\n";
            return 1;
        }
        const qint64 shown = reply.mid(at + 6).trimmed().toLongLong();
        ms.push_back((shown - started) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    out << QString("start-up to main window shown, %1 runs: median %2 ms, min %3 ms, max %4 ms (goal < 300 ms)\n")
               .arg(runs)
               .arg(ms[ms.size() / 2], 0, 'f', 1)
               .arg(ms.front(), 0, 'f', 1)
               .arg(ms.back(), 0, 'f', 1);
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
