// The mail transport on many waiting mails, timed against mpop on the same
// mails from the same dovecot in the same run.
//
//   bench_transport [--mails 500] [--rounds 3]
//
// Uses the private mail servers named by KORVANE_MAILSERVERS, or starts its
// own with scripts/mailservers.sh. Mails of about 4 KB in ISO-2022-JP, every
// tenth with a 100 KB attachment. Each round delivers the mails and receives
// them through the transport the way the mail check calls it (status, size,
// the mail, its raw text, delete; QUIT at the end), once without and once
// with attachment extraction into a folder; then delivers them again and
// times mpop fetching and deleting them into a maildir. Goal: the transport
// no slower than mpop.
#include "mime/mime_charset.h"
#include "mime/mime_message.h"
#include "transport/nmail.h"
#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace korvane;
using namespace korvane::nmail;

namespace {

QList<QByteArray> makeMails(int count)
{
    const QString line = QStringLiteral("第%1番札所へ向かう遍路道、%2通目の便りです。今日も一歩ずつ歩きます。");
    QList<QByteArray> mails;
    for (int i = 1; i <= count; ++i) {
        QString text;
        for (int l = 1; text.size() < 1700; ++l)
            text += line.arg(l).arg(i) + QStringLiteral("\r\n");
        const QByteArray body = *mime::encodeIso2022Jp(text);
        const QByteArray subject =
            "=?ISO-2022-JP?B?" + mime::encodeIso2022Jp(QStringLiteral("遍路便り %1").arg(i))->toBase64() + "?=";
        const QByteArray head = "From: henro" + QByteArray::number(i) + "@example.jp\r\nTo: pilgrim@example.jp\r\n"
                                "Subject: " + subject + "\r\nDate: Mon, 01 Dec 2025 09:00:00 +0900\r\n"
                                "Message-ID: <" + QByteArray::number(i) + ".bench@example.jp>\r\nMIME-Version: 1.0\r\n";
        if (i % 10 != 0) {
            mails << head + "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
                         + body;
            continue;
        }
        QByteArray file(100 * 1024, Qt::Uninitialized);
        for (qsizetype k = 0; k < file.size(); ++k)
            file[k] = char((k * 31 + i) & 0xff);
        const QByteArray b64 = file.toBase64();
        QByteArray wrapped;
        for (qsizetype at = 0; at < b64.size(); at += 76)
            wrapped += b64.mid(at, 76) + "\r\n";
        mails << head + "Content-Type: multipart/mixed; boundary=\"bb\"\r\n\r\n--bb\r\n"
                        "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + body + "--bb\r\n"
                        "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"map"
                 + QByteArray::number(i) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + wrapped + "--bb--\r\n";
    }
    return mails;
}

// Time spent in each kind of call, over a whole run.
struct Breakdown {
    double connect = 0, status = 0, fetch = 0, extract = 0, remove = 0, close = 0;
};

// Receives every waiting mail through the transport and deletes it; the
// number received, or -1.
int receiveAll(const test::MailServers &servers, const QString &attachmentFolder, Breakdown &b)
{
    QElapsedTimer t;
    auto lap = [&](double &into) {
        into += t.nsecsElapsed() / 1e6;
        t.restart();
    };
    t.start();
    const int h = NMailPop3Connect(servers.pop3Plain());
    if (h <= 0)
        return -1;
    const int count = NMailPop3Authenticate(h, servers.user, servers.password, false);
    lap(b.connect);
    int received = 0;
    for (int n = 1; n <= count; ++n) {
        MailTexts texts;
        NMailPop3GetMailStatus(h, n, texts);
        NMailPop3GetMailSize(h, n);
        lap(b.status);
        if (NMailPop3GetMail(h, n, texts) < 0)
            break;
        const QByteArray raw = NMailPop3GetRawMail(h);
        lap(b.fetch);
        if (!attachmentFolder.isEmpty()) {
            NMailAttachmentFileFirst(texts, attachmentFolder, QString(), raw);
            NMailAttachmentFileClose();
        }
        lap(b.extract);
        if (texts.subject.isEmpty() || NMailPop3DeleteMail(h, n) < 0)
            break;
        lap(b.remove);
        ++received;
    }
    const int closed = NMailPop3Close(h);
    lap(b.close);
    return closed < 0 ? -1 : received;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = bench::intOption(args, QStringLiteral("--mails"), 500);
    const int rounds = bench::intOption(args, QStringLiteral("--rounds"), 3);

    bench::BenchServers benchServers;
    if (!benchServers.ready())
        return 1;
    const test::MailServers &servers = benchServers.servers();
    NMailInitializeWinSock();

    QTemporaryDir work;
    bench::Mpop mpop(servers);

    const QList<QByteArray> mails = makeMails(count);
    qint64 bytes = 0;
    for (const QByteArray &m : mails)
        bytes += m.size();
    // The decoding alone, without the server.
    {
        QElapsedTimer clock;
        clock.start();
        qsizetype chars = 0;
        for (const QByteArray &m : mails)
            chars += mime::messageTexts(m).body.size();
        std::printf("decoding the %d mails in memory: %.0f ms (%lld characters)\n", count, clock.nsecsElapsed() / 1e6,
                    static_cast<long long>(chars));
    }

    QList<double> plain, extracting, theirs;
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        if (!benchServers.deliverAll(mails))
            return 1;
        QElapsedTimer clock;
        clock.start();
        Breakdown b;
        int got = receiveAll(servers, QString(), b);
        const double ms = clock.nsecsElapsed() / 1e6;
        failures += (got != count || servers.maildirCount() != 0);
        plain << ms;

        if (!benchServers.deliverAll(mails))
            return 1;
        QDir(work.path() + QStringLiteral("/att")).removeRecursively();
        clock.restart();
        Breakdown bx;
        got = receiveAll(servers, work.path() + QStringLiteral("/att"), bx);
        const double withAttachments = clock.nsecsElapsed() / 1e6;
        failures += (got != count || servers.maildirCount() != 0);
        extracting << withAttachments;

        bool mpopOk = false;
        const double mpopMs = mpop.fetchDelivered(benchServers, mails, &mpopOk);
        failures += !mpopOk;
        theirs << mpopMs;
        std::printf("round %d: transport %.0f ms (login %.0f, header %.0f, mail %.0f, delete %.0f, QUIT %.0f), "
                    "with attachment extraction %.0f ms (extraction %.0f), mpop %.0f ms\n",
                    round, ms, b.connect, b.status, b.fetch, b.remove, b.close, withAttachments, bx.extract, mpopMs);
    }
    std::printf("%d mails (%.1f MB), median of %d rounds: transport %.0f ms (%.2f ms/mail), with attachment "
                "extraction %.0f ms, mpop %.0f ms; transport/mpop %.2f%s\n",
                count, bytes / 1048576.0, rounds, bench::median(plain), bench::median(plain) / count, bench::median(extracting),
                bench::median(theirs), bench::median(plain) / bench::median(theirs), failures ? " (SOME ROUNDS FAILED)" : "");
    NMailEndWinSock();
    return failures ? 1 : 0;
}
