#include "benchsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>

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

BenchServers::BenchServers() : dir_(qEnvironmentVariable("KORVANE_MAILSERVERS"))
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
    QElapsedTimer clock;
    clock.start();
    mpop.start(QStringLiteral("mpop"), {QStringLiteral("--half-quiet"), QStringLiteral("-C"), conf_});
    mpop.waitForFinished(600000);
    const double ms = clock.nsecsElapsed() / 1e6;
    *ok = mpop.exitCode() == 0 && servers_.maildirCount() == 0;
    if (!*ok)
        std::fprintf(stderr, "mpop failed (%d): %s\n", mpop.exitCode(), mpop.readAll().constData());
    return ms;
}

}  // namespace korvane::bench
