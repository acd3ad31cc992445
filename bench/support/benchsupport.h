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

// The private mail servers named by KORVANE_MAILSERVERS, or servers of the
// benchmark's own, started with scripts/mailservers.sh and stopped at the end.
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
    // Delivers the mails, then times fetchAll; *ok false also when the
    // delivery failed.
    double fetchDelivered(const BenchServers &servers, const QList<QByteArray> &mails, bool *ok);

private:
    const test::MailServers &servers_;
    QTemporaryDir dir_;
    QString conf_;
};

}  // namespace korvane::bench
