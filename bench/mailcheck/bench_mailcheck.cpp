// The receive action on many waiting mails, timed against mpop on the same
// mails in the same run.
//
//   bench_mailcheck [--mails 500] [--rounds 3]
//
// Uses the private mail servers named by KORVANE_MAILSERVERS, or starts its
// own with scripts/mailservers.sh. Each round delivers the mails, clicks the
// main window's receive label (the program's own windows, offscreen: counter,
// guide and map for every mail, the viewer, attachment extraction, the
// history, the journal) and times it until the check is over; then delivers
// the same mails again and times mpop fetching and deleting them into a
// maildir. Goal: the check no slower than 1.5 times mpop.
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mail/mailcheck.h"
#include "mail/mailhistory.h"
#include "mail/nmail.h"
#include "mailservers_support.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace korvane;

namespace {

// About 10 KB each; every tenth carries a small attached file.
QList<QByteArray> makeMails(int count)
{
    QList<QByteArray> mails;
    for (int i = 1; i <= count; ++i) {
        QByteArray text;
        for (int line = 1; text.size() < 9800; ++line)
            text += "Line " + QByteArray::number(line).rightJustified(3, '0') + " of mail " + QByteArray::number(i)
                    + ": the pilgrim walks on towards the next temple of the island.\r\n";
        QByteArray head = "From: Sender " + QByteArray::number(i) + " <sender" + QByteArray::number(i)
                          + "@example.jp>\r\nTo: user@example.jp\r\nSubject: bench mail " + QByteArray::number(i)
                          + "\r\nDate: Mon, 1 Jan 2024 09:00:00 +0900\r\nMessage-ID: <" + QByteArray::number(i)
                          + ".bench@example.jp>\r\nMIME-Version: 1.0\r\n";
        if (i % 10 != 0) {
            mails << head + "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + text;
            continue;
        }
        QByteArray file = QByteArray(3000, char('a' + i % 26)).toBase64();
        QByteArray wrapped;
        for (qsizetype at = 0; at < file.size(); at += 76)
            wrapped += file.mid(at, 76) + "\r\n";
        mails << head + "Content-Type: multipart/mixed; boundary=\"bb\"\r\n\r\n--bb\r\n"
                        "Content-Type: text/plain; charset=us-ascii\r\n\r\n"
                 + text.left(6000) + "--bb\r\nContent-Type: application/octet-stream; name=\"file"
                 + QByteArray::number(i) + ".bin\"\r\nContent-Disposition: attachment; filename=\"file"
                 + QByteArray::number(i) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + wrapped + "--bb--\r\n";
    }
    return mails;
}

bool runScript(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral(KORVANE_SOURCE_DIR "/scripts/mailservers.sh"), args);
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    auto option = [&](const QString &name, int fallback) {
        const qsizetype at = args.indexOf(name);
        return at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    const int count = option(QStringLiteral("--mails"), 500);
    const int rounds = option(QStringLiteral("--rounds"), 3);

    QTemporaryDir serverDir;
    QString dir = qEnvironmentVariable("KORVANE_MAILSERVERS");
    const bool ownServers = dir.isEmpty();
    if (ownServers) {
        dir = serverDir.path();
        if (!runScript({QStringLiteral("start"), dir})) {
            std::fprintf(stderr, "cannot start the mail servers\n");
            return 1;
        }
    }
    test::MailServers servers = test::MailServers::fromFolder(dir);
    if (!servers.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(servers.error()));
        return 1;
    }

    app::prepareApplication(application);
    test::TestProgramFolder folder;
    folder.installData();
    settings::serverSettings().pop3Server = servers.pop3Plain();
    settings::serverSettings().mailAddress = QStringLiteral("user@example.jp");
    settings::saveServerSettings();
    settings::writeCredentialValue(QStringLiteral("NAME"), servers.user);
    settings::writeCredentialValue(QStringLiteral("NAME2"), servers.password);
    app::registerAllWindows();
    auto *form = Windows::get<app::Mainform>(QStringLiteral("Mainform"));
    form->startUp();
    form->show();
    auto *receive = form->findChild<ClickLabel *>(QStringLiteral("Label3"));

    // mpop on the same account, delivering into a maildir of its own.
    QTemporaryDir mpopDir;
    for (const char *sub : {"/box/new", "/box/cur", "/box/tmp"})
        QDir().mkpath(mpopDir.path() + sub);
    const QString conf = mpopDir.path() + "/mpoprc";
    {
        QFile f(conf);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("defaults\ntls off\nauth user\naccount default\nhost %1\nport %2\nuser %3\n"
                               "password %4\ndelivery maildir %5/box\nkeep off\nuidls_file %5/uidls\n")
                    .arg(servers.host)
                    .arg(servers.pop3Port)
                    .arg(servers.user, servers.password, mpopDir.path())
                    .toUtf8());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    const QList<QByteArray> mails = makeMails(count);
    auto deliverAll = [&] {
        servers.emptyMaildir();
        for (const QByteArray &m : mails)
            if (!servers.deliver(m))
                return false;
        return true;
    };

    QList<double> ours, theirs;
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        if (!deliverAll())
            return 1;
        const int before = mail::mailRecordCount(mail::HistoryKind::Received);
        QElapsedTimer clock;
        clock.start();
        emit receive->clicked();
        const double ms = clock.nsecsElapsed() / 1e6;
        const int stored = mail::mailRecordCount(mail::HistoryKind::Received) - before;
        if (stored != count || servers.maildirCount() != 0)
            ++failures;
        ours << ms;

        if (!deliverAll())
            return 1;
        QProcess mpop;
        mpop.setProcessChannelMode(QProcess::MergedChannels);
        clock.restart();
        mpop.start(QStringLiteral("mpop"), {QStringLiteral("--half-quiet"), QStringLiteral("-C"), conf});
        mpop.waitForFinished(600000);
        const double mpopMs = clock.nsecsElapsed() / 1e6;
        if (mpop.exitCode() != 0 || servers.maildirCount() != 0) {
            std::fprintf(stderr, "mpop failed (%d): %s\n", mpop.exitCode(), mpop.readAll().constData());
            ++failures;
        }
        theirs << mpopMs;
        std::printf("round %d: korvane %.0f ms (%d stored), mpop %.0f ms\n", round, ms, stored, mpopMs);
        std::fflush(stdout);
    }
    const double a = median(ours), b = median(theirs);
    std::printf("%d mails, median of %d rounds: korvane check %.0f ms (%.2f ms/mail), mpop %.0f ms; "
                "ratio %.2f (goal <= 1.5)%s\n",
                count, rounds, a, a / count, b, b > 0 ? a / b : 0.0, failures ? "; SOME ROUNDS FAILED" : "");

    Windows::unloadAll();
    if (ownServers)
        runScript({QStringLiteral("stop"), dir});
    return failures ? 1 : 0;
}
