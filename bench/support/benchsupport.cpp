#include "benchsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane::bench {
namespace {

bool runScript(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral(KORVANE_SOURCE_DIR "/scripts/mailservers.sh"), args);
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

}  // namespace

int intOption(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype at = args.indexOf(name);
    return at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

namespace {

bool inPath(const char *program)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

void writeControl(const char *command)
{
    const char *fifo = std::getenv("KORVANE_BENCH_PERF_CTL");
    if (!fifo || !*fifo)
        return;
    if (FILE *f = std::fopen(fifo, "w")) {
        std::fputs(command, f);
        std::fclose(f);
    }
}

}  // namespace

bool onPrivateX()
{
    return std::getenv("KORVANE_BENCH_ON_X") != nullptr;
}

int rerunOnPrivateX(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--offscreen") == 0)
            return -1;
    if (onPrivateX())
        return -1;
    if (!inPath("Xvfb") || !inPath("openbox")) {
        std::fprintf(stderr, "Xvfb or openbox is not installed: measuring offscreen instead\n");
        return -1;
    }
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return -1;
    self[length] = 0;
    // The script's exit trap stops the X server and the window manager.
    static const char script[] = "source \"$1\"; shift; start_x || exit 1; "
                                 "KORVANE_BENCH_ON_X=1 QT_QPA_PLATFORM=xcb \"$@\"; status=$?; exit $status";
    std::vector<char *> args{const_cast<char *>("bash"), const_cast<char *>("-c"), const_cast<char *>(script),
                             const_cast<char *>("korvane-bench"),
                             const_cast<char *>(KORVANE_SOURCE_DIR "/scripts/xsession.sh"), self};
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp("bash", args.data());
        std::_Exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) < 0)
        return 1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

namespace {

double usageMs(int who)
{
    rusage u{};
    ::getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

}  // namespace

double cpuMs()
{
    return usageMs(RUSAGE_SELF);
}

double childrenCpuMs()
{
    return usageMs(RUSAGE_CHILDREN);
}

ProfiledSpan::ProfiledSpan()
{
    writeControl("enable\n");
}

ProfiledSpan::~ProfiledSpan()
{
    writeControl("disable\n");
}

namespace {

QString serversTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    return base + QStringLiteral("/korvane-bench-XXXXXX");
}

}  // namespace

BenchServers::BenchServers() : own_(serversTemplate()), dir_(qEnvironmentVariable("KORVANE_MAILSERVERS"))
{
    if (dir_.isEmpty()) {
        dir_ = own_.filePath(QStringLiteral("servers"));
        ownServers_ = runScript({QStringLiteral("start"), dir_});
    }
    servers_ = test::MailServers::fromFolder(dir_);
}

BenchServers::~BenchServers()
{
    if (ownServers_)
        runScript({QStringLiteral("stop"), dir_});
}

bool BenchServers::deliverAll(const QList<QByteArray> &mails) const
{
    servers_.emptyMaildir();
    for (const QByteArray &m : mails)
        if (!servers_.deliver(m))
            return false;
    return true;
}

Mpop::Mpop(const test::MailServers &servers) : servers_(servers), conf_(dir_.path() + QStringLiteral("/mpoprc"))
{
    for (const char *sub : {"/box/new", "/box/cur", "/box/tmp"})
        QDir().mkpath(dir_.path() + sub);
    QFile f(conf_);
    if (f.open(QIODevice::WriteOnly))
        f.write(QStringLiteral("defaults\ntls off\nauth user\naccount default\nhost %1\nport %2\nuser %3\n"
                               "password %4\ndelivery maildir %5/box\nkeep off\nuidls_file %5/uidls\n")
                    .arg(servers.host)
                    .arg(servers.pop3Port)
                    .arg(servers.user, servers.password, dir_.path())
                    .toUtf8());
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

bool BenchServers::ready() const
{
    if (!ok())
        std::fprintf(stderr, "%s\n", qPrintable(error()));
    return ok();
}

double Mpop::fetchDelivered(const BenchServers &servers, const QList<QByteArray> &mails, bool *ok)
{
    if (!servers.deliverAll(mails)) {
        *ok = false;
        return 0;
    }
    return fetchAll(ok);
}

double Mpop::fetchAll(bool *ok)
{
    QProcess mpop;
    mpop.setProcessChannelMode(QProcess::MergedChannels);
    const double cpuBefore = childrenCpuMs();
    QElapsedTimer clock;
    clock.start();
    mpop.start(QStringLiteral("mpop"), {QStringLiteral("--half-quiet"), QStringLiteral("-C"), conf_});
    mpop.waitForFinished(600000);
    const double ms = clock.nsecsElapsed() / 1e6;
    lastCpuMs_ = childrenCpuMs() - cpuBefore;
    *ok = mpop.exitCode() == 0 && servers_.maildirCount() == 0;
    if (!*ok)
        std::fprintf(stderr, "mpop failed (%d): %s\n", mpop.exitCode(), mpop.readAll().constData());
    return ms;
}

}  // namespace korvane::bench
