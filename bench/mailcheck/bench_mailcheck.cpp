// The receive action on many waiting mails, timed against mpop on the same
// mails in the same run.
//
//   bench_mailcheck [--mails 500] [--rounds 5] [--attachment-kb 100] [--offscreen]
//   bench_mailcheck --large [--rounds 5] [--offscreen]
//
// Runs the program's own windows the way a user meets them: on a private X
// server with a window manager (Xvfb and openbox, the xcb platform) where
// those are installed, offscreen with --offscreen or without them. Uses the
// private mail servers named by KORVANE_MAILSERVERS, or starts its own with
// scripts/mailservers.sh. Mails of about 13 KB, every tenth with an attached
// file (100 KB unless told). Each round delivers the mails, clicks the main
// window's receive label and times it until the server is empty (counter,
// guide and map for every mail, the viewer, attachment extraction, the
// history, the originals, the journal); then delivers the same mails again
// and times mpop fetching and deleting them into a maildir. It also counts
// the frames the windows drew meanwhile. Goal: the check within 0.8 times
// mpop's time on the X server, 1.5 times offscreen (the median of the
// rounds' ratios).
// The two programs take turns at going first (odd rounds the program, even
// rounds mpop), so that neither always meets the disk the other has just
// filled.
//
// With --large: five mails of 20, 22, 24, 26 and 28 MB, each a short text
// and one base64 attachment, timed the same way; besides, the check's peak
// memory over what the program held before it (the high-water mark reset
// before each round). Goals: time at most 1.2 times mpop's, peak over idle
// less than twice the largest mail.
//
// To see where the time goes, only while the check runs:
//   mkfifo /tmp/ctl; export KORVANE_BENCH_PERF_CTL=/tmp/ctl
//   perf record -D -1 --control fifo:/tmp/ctl -g -- build/bench/bench_mailcheck
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mailcheck/mailcheck.h"
#include "history/mailhistory.h"
#include "transport/nmail.h"
#include "benchsupport.h"
#include "settings/settings.h"
#include "testenv.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace korvane;

namespace {

// Counts the frames the windows draw: one update request per window and
// frame.
class FrameCounter final : public QObject {
public:
    int frames = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::UpdateRequest && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isWindow())
            ++frames;
        return false;
    }
};

// About 13 KB each; every tenth carries an attached file. Each round gets
// mails of its own, as new mail is: none of them is kept already.
QList<QByteArray> makeMails(int count, int attachmentKb, int round)
{
    QList<QByteArray> mails;
    for (int i = 1; i <= count; ++i) {
        QByteArray text;
        for (int line = 1; text.size() < 12800; ++line)
            text += "Line " + QByteArray::number(line).rightJustified(3, '0') + " of mail " + QByteArray::number(i)
                    + ": the pilgrim walks on towards the next temple of the island.\r\n";
        QByteArray head = "From: Sender " + QByteArray::number(i) + " <sender" + QByteArray::number(i)
                          + "@example.jp>\r\nTo: user@example.jp\r\nSubject: bench mail " + QByteArray::number(i)
                          + "\r\nDate: Mon, 1 Jan 2024 09:00:00 +0900\r\nMessage-ID: <" + QByteArray::number(i) + "."
                          + QByteArray::number(round) + ".bench@example.jp>\r\nMIME-Version: 1.0\r\n";
        if (i % 10 != 0) {
            mails << head + "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + text;
            continue;
        }
        QByteArray file(qsizetype(attachmentKb) * 1024, Qt::Uninitialized);
        for (qsizetype at = 0; at < file.size(); ++at)
            file[at] = char((at * 7 + i) % 251);
        file = file.toBase64();
        QByteArray wrapped;
        for (qsizetype at = 0; at < file.size(); at += 76)
            wrapped += file.mid(at, 76) + "\r\n";
        mails << head + "Content-Type: multipart/mixed; boundary=\"bb\"\r\n\r\n--bb\r\n"
                        "Content-Type: text/plain; charset=us-ascii\r\n\r\n"
                 + text.left(text.lastIndexOf("\r\n", 6000) + 2) + "--bb\r\nContent-Type: application/octet-stream; name=\"file"
                 + QByteArray::number(i) + ".bin\"\r\nContent-Disposition: attachment; filename=\"file"
                 + QByteArray::number(i) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + wrapped + "--bb--\r\n";
    }
    return mails;
}

// Where both programs write, as the figures depend on it: on ext4 without a
// journal each new file costs a scan of the inodes removed in the last
// minutes (up to six while their table is not written out), so for a while
// after many files were removed (a test run, the end of an earlier bench
// run) both programs are slower; with a journal each fsync (mpop's, per
// mail) is a journal commit.
QString fileSystemOf(const QString &folder)
{
    const QStorageInfo storage(folder);
    const QString device = QString::fromLocal8Bit(storage.device());
    QString type = QString::fromLatin1(storage.fileSystemType());
    if (type.startsWith(QLatin1String("ext")) && device.startsWith(QLatin1String("/dev/")))
        type += QFileInfo::exists(QStringLiteral("/proc/fs/jbd2/%1-8").arg(device.mid(5))) ? QStringLiteral(", journal")
                                                                                          : QStringLiteral(", no journal");
    return QStringLiteral("%1 (%2)").arg(device, type);
}

// Five mails of 20 to 28 MB: a short text and one attached file in base64.
// The attached bytes are made once; each round's mails differ in their
// header.
QList<QByteArray> makeLargeMails(int round)
{
    static QList<QByteArray> bodies;
    if (bodies.isEmpty()) {
        for (int mb = 20; mb <= 28; mb += 2) {
            // Base64 in lines of 76 characters and CR LF: 78 bytes for 57.
            const qsizetype fileSize = qsizetype(mb) * 1024 * 1024 / 78 * 57;
            QByteArray file(fileSize, Qt::Uninitialized);
            quint32 x = 2463534242u + quint32(mb);
            for (qsizetype at = 0; at < fileSize; ++at) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                file[at] = char(x);
            }
            const QByteArray encoded = file.toBase64();
            QByteArray body;
            body.reserve(encoded.size() / 76 * 78 + 4096);
            body += "Content-Type: multipart/mixed; boundary=\"bb\"\r\n\r\n--bb\r\n"
                    "Content-Type: text/plain; charset=us-ascii\r\n\r\nThe photographs of the pilgrimage, "
                    "as promised.\r\n--bb\r\nContent-Type: application/octet-stream; name=\"photos"
                    + QByteArray::number(mb) + ".bin\"\r\nContent-Disposition: attachment; filename=\"photos"
                    + QByteArray::number(mb) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
            for (qsizetype at = 0; at < encoded.size(); at += 76)
                body.append(encoded.constData() + at, qMin<qsizetype>(76, encoded.size() - at)).append("\r\n");
            body += "--bb--\r\n";
            bodies << body;
        }
    }
    QList<QByteArray> mails;
    for (qsizetype i = 0; i < bodies.size(); ++i)
        mails << "From: Sender <sender@example.jp>\r\nTo: user@example.jp\r\nSubject: large mail "
                     + QByteArray::number(i + 1) + "\r\nDate: Mon, 1 Jan 2024 09:00:00 +0900\r\nMessage-ID: <"
                     + QByteArray::number(i + 1) + "." + QByteArray::number(round)
                     + ".large@example.jp>\r\nMIME-Version: 1.0\r\n" + bodies[i];
    return mails;
}

// A field of /proc/self/status in kB ("VmHWM", "VmRSS"), or -1.
qint64 statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Sets the high-water mark of the resident memory back to what is resident
// now.
bool resetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (const int status = bench::rerunOnPrivateX(argc, argv); status >= 0)
        return status;
    const bool onScreen = bench::onPrivateX();
    if (!onScreen)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    const bool large = args.contains(QStringLiteral("--large"));
    const int count = large ? 5 : bench::intOption(args, QStringLiteral("--mails"), 500);
    const int rounds = bench::intOption(args, QStringLiteral("--rounds"), 5);
    const int attachmentKb = bench::intOption(args, QStringLiteral("--attachment-kb"), 100);
    const double goal = large ? 1.2 : onScreen ? 0.8 : 1.5;

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
    if (onScreen && !QTest::qWaitForWindowExposed(form)) {
        std::fprintf(stderr, "the main window was not shown\n");
        return 1;
    }
    auto *receive = form->findChild<ClickLabel *>(QStringLiteral("Label3"));
    FrameCounter frames;
    application.installEventFilter(&frames);

    bench::Mpop mpop(servers);
    std::printf("program folder and mpop's maildir on %s; TMPDIR chooses where\n",
                qPrintable(fileSystemOf(folder.path())));

    QList<double> ours, theirs, ratios, ourCpu, theirCpu, peaks;
    qsizetype largest = 0;
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        const QList<QByteArray> mails = large ? makeLargeMails(round) : makeMails(count, attachmentKb, round);
        for (const QByteArray &m : mails)
            largest = qMax(largest, m.size());
        // Odd rounds the program goes first, even rounds mpop.
        const bool mpopFirst = round % 2 == 0;
        bool mpopOk = false;
        double mpopMs = 0;
        if (mpopFirst) {
            mpopMs = mpop.fetchDelivered(benchServers, mails, &mpopOk);
            failures += !mpopOk;
        }
        if (!benchServers.deliverAll(mails))
            return 1;
        const int before = mail::mailRecordCount(mail::HistoryKind::Received);
        QCoreApplication::processEvents();
        frames.frames = 0;
        double ms = 0;
        const qint64 idleKb = statusKb("VmRSS");
        const bool peakKnown = resetPeakMemory();
        const double cpuBefore = bench::cpuMs();
        {
            bench::ProfiledSpan profiled;
            QElapsedTimer clock;
            clock.start();
            // The click as the window system delivers it; the receive action
            // runs inside it until the session has ended.
            QTest::mouseClick(receive, Qt::LeftButton);
            ms = clock.nsecsElapsed() / 1e6;
        }
        const double cpu = bench::cpuMs() - cpuBefore;
        const double peakMb = peakKnown ? (statusKb("VmHWM") - idleKb) / 1024.0 : -1;
        // What the windows show at the end is drawn before the next round.
        QTest::qWait(50);
        const int stored = mail::mailRecordCount(mail::HistoryKind::Received) - before;
        if (stored != count || servers.maildirCount() != 0)
            ++failures;
        ours << ms;
        peaks << peakMb;

        if (!mpopFirst) {
            mpopMs = mpop.fetchDelivered(benchServers, mails, &mpopOk);
            failures += !mpopOk;
        }
        theirs << mpopMs;
        ratios << (mpopMs > 0 ? ms / mpopMs : 0.0);
        ourCpu << cpu;
        theirCpu << mpop.lastCpuMs();
        std::printf("round %d (%s first): korvane %.0f ms (%d stored, %d frames, %.0f ms of processor time, peak %.1f MB "
                    "over idle), mpop %.0f ms (%.0f ms of processor time), ratio %.2f\n",
                    round, mpopFirst ? "mpop" : "korvane", ms, stored, frames.frames, cpu, peakMb, mpopMs,
                    mpop.lastCpuMs(), ratios.last());
        std::fflush(stdout);
    }
    const double a = bench::median(ours), b = bench::median(theirs);
    // Each round times both on the same mails one after the other; the
    // median of the rounds' ratios is steadier than the ratio of medians on
    // a machine whose speed drifts.
    const QString what = large ? QStringLiteral("5 mails of 20 to 28 MB (one base64 attachment each)")
                               : QStringLiteral("%1 mails (every tenth with %2 KB attached)").arg(count).arg(attachmentKb);
    std::printf("%s, %s, median of %d rounds: korvane check %.0f ms (%.2f ms/mail), mpop %.0f ms; median ratio %.2f "
                "(goal <= %.1f)%s\n",
                onScreen ? "X server with window manager" : "offscreen", qPrintable(what), rounds, a, a / count, b,
                bench::median(ratios), goal, failures ? "; SOME ROUNDS FAILED" : "");
    const double largestMb = largest / (1024.0 * 1024.0);
    if (large)
        std::printf("peak memory of the check over idle, median: %.1f MB (largest mail %.1f MB; goal < %.1f MB, twice "
                    "the largest)\n",
                    bench::median(peaks), largestMb, 2 * largestMb);
    else
        std::printf("peak memory of the check over idle, median: %.1f MB\n", bench::median(peaks));
    // The servers' own work is in neither figure; the machine's other load
    // is in the times but not in these.
    std::printf("processor time, median: korvane %.0f ms, mpop %.0f ms\n", bench::median(ourCpu),
                bench::median(theirCpu));

    Windows::unloadAll();
    return failures ? 1 : 0;
}
