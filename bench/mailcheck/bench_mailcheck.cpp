// The receive action on many waiting mails, timed against mpop on the same
// mails in the same run.
//
//   bench_mailcheck [--mails 500] [--rounds 7]
//
// Uses the private mail servers named by KORVANE_MAILSERVERS, or starts its
// own with scripts/mailservers.sh. Each round delivers the mails, clicks the
// main window's receive label (the program's own windows, offscreen: counter,
// guide and map for every mail, the viewer, attachment extraction, the
// history, the journal) and times it until the check is over; then delivers
// the same mails again and times mpop fetching and deleting them into a
// maildir. Goal: the check no slower than 1.5 times mpop (the median of the
// rounds' ratios).
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mail/mailcheck.h"
#include "mail/mailhistory.h"
#include "mail/nmail.h"
#include "benchsupport.h"
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

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    const int count = bench::intOption(args, QStringLiteral("--mails"), 500);
    const int rounds = bench::intOption(args, QStringLiteral("--rounds"), 7);

    bench::BenchServers benchServers;
    if (!benchServers.ready())
        return 1;
    const test::MailServers &servers = benchServers.servers();

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

    bench::Mpop mpop(servers);

    const QList<QByteArray> mails = makeMails(count);
    QList<double> ours, theirs, ratios;
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        if (!benchServers.deliverAll(mails))
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

        bool mpopOk = false;
        const double mpopMs = mpop.fetchDelivered(benchServers, mails, &mpopOk);
        failures += !mpopOk;
        theirs << mpopMs;
        ratios << (mpopMs > 0 ? ms / mpopMs : 0.0);
        std::printf("round %d: korvane %.0f ms (%d stored), mpop %.0f ms, ratio %.2f\n", round, ms, stored, mpopMs,
                    ratios.last());
        std::fflush(stdout);
    }
    const double a = bench::median(ours), b = bench::median(theirs);
    // Each round times both on the same mails one after the other; the
    // median of the rounds' ratios is steadier than the ratio of medians on
    // a machine whose speed drifts.
    std::printf("%d mails, median of %d rounds: korvane check %.0f ms (%.2f ms/mail), mpop %.0f ms; "
                "median ratio %.2f (goal <= 1.5)%s\n",
                count, rounds, a, a / count, b, bench::median(ratios), failures ? "; SOME ROUNDS FAILED" : "");

    Windows::unloadAll();
    return failures ? 1 : 0;
}
