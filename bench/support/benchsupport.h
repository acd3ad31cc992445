#pragma once
// What the mail benchmarks share: their options, the private mail servers,
// and mpop fetching the same mails for comparison.
#include "mailservers_support.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace korvane::bench {

// The whole number after `name` on the command line, or `fallback`.
int intOption(const QStringList &args, const QString &name, int fallback);
double median(QList<double> values);
// Processor time (user and system, all threads) used so far by this
// process, or by its children that have ended, in milliseconds.
double cpuMs();
double childrenCpuMs();

// Runs this benchmark again on a private X server with a window manager
// (Xvfb and openbox, through scripts/xsession.sh) and the xcb platform, and
// returns its exit status; called before the application object exists.
// Returns -1 without doing anything when the benchmark already runs there,
// when `--offscreen` is given, or when Xvfb or openbox is missing (then it
// says so): the caller goes on offscreen.
int rerunOnPrivateX(int argc, char **argv);
// True in the run rerunOnPrivateX started.
bool onPrivateX();

// With KORVANE_BENCH_PERF_CTL naming the control fifo of
// `perf record -D -1 --control fifo:…`, perf records only while one of these
// lives: the part of a round that is measured, not the setting up around it.
class ProfiledSpan {
public:
    ProfiledSpan();
    ~ProfiledSpan();
    ProfiledSpan(const ProfiledSpan &) = delete;
    ProfiledSpan &operator=(const ProfiledSpan &) = delete;
};

// The private mail servers named by KORVANE_MAILSERVERS, or servers of the
// benchmark's own, started with scripts/mailservers.sh and stopped at the end.
// Its own keep their mailbox in memory (/dev/shm) where there is one: a real
// server removes the mails it hands out on a disk of its own, not on the
// disk the program writes its files to. (On a file system without a journal,
// files created soon after thousands were removed cost ten times as much.)
class BenchServers {
public:
    BenchServers();
    ~BenchServers();
    BenchServers(const BenchServers &) = delete;
    BenchServers &operator=(const BenchServers &) = delete;

    bool ok() const { return servers_.ok(); }
    QString error() const { return servers_.error(); }
    // ok(), telling on standard error why not.
    bool ready() const;
    const test::MailServers &servers() const { return servers_; }
    // Empties the maildir and delivers the mails into it.
    bool deliverAll(const QList<QByteArray> &mails) const;

private:
    QTemporaryDir own_;
    QString dir_;
    bool ownServers_ = false;
    test::MailServers servers_;
};

// mpop fetching and deleting every waiting mail of the account into a maildir
// of its own.
class Mpop {
public:
    explicit Mpop(const test::MailServers &servers);
    // Milliseconds the fetch took; *ok false when mpop failed or left mail.
    double fetchAll(bool *ok);
    // Processor time mpop used in the last fetch, in milliseconds.
    double lastCpuMs() const { return lastCpuMs_; }
    // Delivers the mails, then times fetchAll; *ok false also when the
    // delivery failed.
    double fetchDelivered(const BenchServers &servers, const QList<QByteArray> &mails, bool *ok);

private:
    const test::MailServers &servers_;
    QTemporaryDir dir_;
    QString conf_;
    double lastCpuMs_ = 0;
};

}  // namespace korvane::bench
