// Sending from the compose and reply windows through the private SMTP server.
#include "composetesting.h"

#include "compose/backform.h"
#include "compose/fortune.h"
#include "addressbook/register.h"
#include "history/historywindow.h"
#include "history/history_listmodel.h"
#include "history/checknotes.h"
#include "history/mailhistory.h"
#include "history/tyakuform.h"
#include "transport/nmail.h"
#include "transport/transport_common.h"
#include "transport/transport_smtp.h"
#include "common/paths.h"
#include "mailservers_support.h"
#include "scripteddialogs.h"
#include "settings/settings.h"
#include "common/addressfield.h"
#include "mime/mime.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTreeView>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextEdit>

#include <csignal>
#include <sys/wait.h>

using namespace korvane;
using namespace korvane::test;
using compose::WriteForm;

namespace {

// A spooled mail read back the way the program reads received mail.
struct ReadBack {
    nmail::MailTexts texts;
    QStringList attachments;  // file names saved
    QString folder;
};

ReadBack readBack(const SpooledMail &mail, const QString &folder)
{
    ReadBack r;
    r.folder = folder;
    QDir().mkpath(folder);
    nmail::NMailAttachmentFileFirst(r.texts, folder, folder + "/0.txt", mail.content);
    nmail::NMailAttachmentFileClose();
    r.attachments = QDir(folder).entryList(QDir::Files);
    r.attachments.removeAll(QStringLiteral("0.txt"));
    return r;
}

// The Subject header's text as it went over the wire, spaces and all: its
// encoded words are decoded here without any trimming.
QString sentSubject(const QByteArray &mail)
{
    const QByteArray head = mail.left(mail.indexOf("\r\n\r\n"));
    QByteArray value;
    bool inSubject = false;
    for (const QByteArray &line : head.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        if (inSubject && (l.startsWith(' ') || l.startsWith('\t')))
            value += l;
        else if ((inSubject = l.toLower().startsWith("subject:")))
            value = l.mid(9);
    }
    static const QRegularExpression word(QStringLiteral("=\\?([^?]+)\\?([BbQq])\\?([^?]*)\\?="));
    QString out;
    QByteArray pending;
    QString charset;
    auto flush = [&] {
        if (!pending.isEmpty())
            out += QStringDecoder(charset.toLatin1().constData()).decode(pending);
        pending.clear();
    };
    const QString text = QString::fromLatin1(value);
    qsizetype at = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString between = text.mid(at, m.capturedStart() - at);
        if (!between.trimmed().isEmpty() || at == 0) {
            flush();
            out += between;
        }
        if (m.captured(1) != charset)
            flush();
        charset = m.captured(1);
        QByteArray data = m.captured(3).toLatin1();
        if (m.captured(2).toUpper() == u"B") {
            pending += QByteArray::fromBase64(data);
        } else {
            data.replace('_', ' ');
            pending += QByteArray::fromPercentEncoding(data, '=');
        }
        at = m.capturedEnd();
    }
    flush();
    return out + text.mid(at);
}

QStringList envelopes(const QList<SpooledMail> &spooled)
{
    QStringList out;
    for (const SpooledMail &m : spooled)
        out << m.recipients;
    return out;
}

// The address field of every sent-history record, in order.
QStringList sentAddresses()
{
    QStringList out;
    for (int n = 1; n <= mail::mailRecordCount(mail::HistoryKind::Sent); ++n)
        out << mail::readMailRecord(mail::HistoryKind::Sent, n)->address;
    return out;
}

QString trimmedCrLf(QString s)
{
    while (s.endsWith(u'\r') || s.endsWith(u'\n'))
        s.chop(1);
    return s;
}

// The SMTP server of smtp_late_reply.py: it answers the end of a mail after
// `delay` seconds (negative: never).
struct LateSmtp {
    QTemporaryDir dir;
    qint64 pid = 0;
    QString address;
    explicit LateSmtp(double delay, bool silent = false)
    {
        const QString script = qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/tests/compose/smtp_late_reply.py");
        QStringList args{script, dir.filePath("port"), QString::number(delay)};
        if (silent)
            args << QStringLiteral("--silent");
        QProcess::startDetached(QStringLiteral("/usr/bin/python3"), args, QString(), &pid);
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && !QFile::exists(dir.filePath("port")))
            QThread::msleep(20);
        address = QStringLiteral("127.0.0.1:") + QString::fromLatin1(readFile(dir.filePath("port")));
    }
    ~LateSmtp()
    {
        ::kill(pid_t(pid), SIGKILL);
        ::waitpid(pid_t(pid), nullptr, 0);
    }
    bool received() const { return QFile::exists(dir.filePath("port.mail")); }
};

}  // namespace

class TestComposeSend : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        servers_ = MailServers::fromEnvironment();
        if (!servers_.ok())
            QSKIP(qPrintable(servers_.error()));
        registerComposeWindows();
        addressbook::registerWindows();
        Windows::registerFactory(QStringLiteral("TyakuForm"), [] { return new mail::TyakuForm; });
        nmail::NMailInitializeWinSock();
    }

    void cleanupTestCase() { nmail::NMailEndWinSock(); }

    void init()
    {
        folder_ = std::make_unique<TestProgramFolder>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        servers_.emptySpool();
        settings::serverSettings() = {};
        settings::serverSettings().smtpServer = servers_.smtpPlain();
        settings::serverSettings().mailAddress = QStringLiteral("sender@example.jp");
        compose::setFortuneDraw({});
    }

    void cleanup()
    {
        nmail::transport::setTimeoutSeconds(20);
        nmail::transport::setFinalReplySeconds(600);
        Windows::unloadAll();
        dialogs_.reset();
        folder_.reset();
    }

    void sendsOneMail()
    {
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        child<QLineEdit>(form, "SubjectText")->setText(QStringLiteral("  お遍路の便り  "));
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("  第一番 霊山寺に着きました。\n次は極楽寺。  "));
        clickButton(form, "Command1");

        QVERIFY(dialogs_->shown.isEmpty());
        QTRY_VERIFY(form.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        QCOMPARE(spooled.size(), 1);
        QCOMPARE(spooled[0].recipients, QStringList{QStringLiteral("friend@example.jp")});
        QCOMPARE(spooled[0].envelopeFrom, QStringLiteral("sender@example.jp"));
        const ReadBack mail = readBack(spooled[0], folder_->file("out"));
        // Sent as typed, spaces included...
        QCOMPARE(sentSubject(spooled[0].content), QStringLiteral("  お遍路の便り  "));
        QCOMPARE(mail.texts.subject.trimmed(), QStringLiteral("お遍路の便り"));
        QCOMPARE(trimmedCrLf(mail.texts.body), QStringLiteral("  第一番 霊山寺に着きました。\r\n次は極楽寺。  "));
        // ...and stored trimmed.
        const auto record = mail::readMailRecord(mail::HistoryKind::Sent, 1);
        QCOMPARE(record->subject, QStringLiteral("お遍路の便り"));
        QCOMPARE(record->address, QStringLiteral("friend@example.jp"));
        QCOMPARE(record->body, QStringLiteral("第一番 霊山寺に着きました。\r\n次は極楽寺。"));
        // The mail is kept whole as the server took it, for its owner only.
        const QString original = mail::originalPath(mail::HistoryKind::Sent, *record);
        QVERIFY(original.startsWith(folder_->file(QStringLiteral("送信原本/"))));
        QCOMPARE(readFile(original), spooled[0].content);
        QVERIFY(!(QFile(original).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)));
        QVERIFY(!(QFile(QFileInfo(original).path()).permissions() & (QFileDevice::ReadOther | QFileDevice::ExeOther)));
    }

    // A body the record cannot hold ends with a note naming the kept original.
    void longSentMailIsKeptWhole()
    {
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        QStringList lines;
        for (int i = 1; i <= 5000; ++i)
            lines << QStringLiteral("%1 行目の文です。").arg(i);
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(lines.join(u'\n'));
        clickButton(form, "Command1");
        QTRY_VERIFY(form.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        const auto record = mail::readMailRecord(mail::HistoryKind::Sent, 1);
        QVERIFY(record->body.contains(QStringLiteral("\r\n\r\n〓〓 この本文は履歴に全部は入りませんでした（長すぎる部分を省略）。"
                                                     "元のメール全体は「送信原本/%1」にあります。").arg(record->original)));
        QCOMPARE(readFile(mail::originalPath(mail::HistoryKind::Sent, *record)), spooled[0].content);
        QCOMPARE(trimmedCrLf(readBack(spooled[0], folder_->file("out")).texts.body), lines.join(QStringLiteral("\r\n")));
    }

    // The answer to the end of the mail may come late; one that never comes
    // leaves the mail possibly delivered, which is what the user is told.
    void lateFinalReply_data()
    {
        QTest::addColumn<double>("delay");
        QTest::addColumn<int>("finalWait");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("told");
        QTest::newRow("later than other replies may be") << 2.5 << 20 << false << QString();
        QTest::newRow("never") << -1.0 << 2 << false << QStringLiteral("2秒待っても");
        QTest::newRow("stopped by the user") << -1.0 << 40 << true << QStringLiteral("待つのを中止しました");
        // Other answers keep their usual timeout: nothing was sent then.
        QTest::newRow("silent from the start") << -2.0 << 40 << false << QStringLiteral("タイムアウト");
    }
    void lateFinalReply()
    {
        QFETCH(double, delay);
        QFETCH(int, finalWait);
        QFETCH(bool, stop);
        QFETCH(QString, told);
        LateSmtp server(delay, delay < -1);
        settings::serverSettings().smtpServer = server.address;
        nmail::transport::setTimeoutSeconds(1);
        nmail::transport::setFinalReplySeconds(finalWait);
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("遅い返事"));
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (stop && server.received()) {
                poll.stop();
                clickButton(form, "Command3");
            }
        });
        poll.start(50);
        QElapsedTimer took;
        took.start();
        clickButton(form, "Command1");
        // The user need not wait out the long wait when it does not apply.
        QVERIFY(took.elapsed() < (delay < 0 && (stop || delay < -1) ? 10000 : finalWait * 1000 + 4000));
        if (told.isEmpty()) {
            QVERIFY2(dialogs_->shown.isEmpty(), qPrintable(dialogs_->texts().join('|')));
            QTRY_VERIFY(form.isNull());
            QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 1);
            return;
        }
        const bool uncertain = delay > -2;
        QCOMPARE(dialogs_->shown.size(), 1);
        QVERIFY2(dialogs_->last().text.contains(told), qPrintable(dialogs_->last().text));
        QCOMPARE(dialogs_->last().text.contains(QStringLiteral("受け取って配送している可能性")), uncertain);
        QCOMPARE(server.received(), uncertain);
        QVERIFY(form && form->isVisible());
        QCOMPARE(child<QLabel>(form, "Label7")->text(), uncertain ? compose::UncertainText : QString());
        QCOMPARE(child<QPlainTextEdit>(form, "BodyText")->toPlainText(), QStringLiteral("遅い返事"));
    }

    void fortuneGoesOutButNotIntoTheHistory()
    {
        compose::setFortuneDraw([] { return 0.5; });
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("Hello"));
        child<QCheckBox>(form, "Check1")->setChecked(true);
        clickButton(form, "Command1");
        QTRY_VERIFY(form.isNull());

        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        QCOMPARE(spooled.size(), 1);
        const ReadBack mail = readBack(spooled[0], folder_->file("out"));
        QCOMPARE(trimmedCrLf(mail.texts.body), compose::withFortune(QStringLiteral("Hello"), 7));
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 1);
        QCOMPARE(mail::readMailRecord(mail::HistoryKind::Sent, 1)->body, QStringLiteral("Hello"));
    }

    void bulkSendsToEveryAddress()
    {
        writeAddressFile(addressbook::Source::Book, {{QStringLiteral("一"), QStringLiteral("one@example.jp")},
                                                     {QStringLiteral("二"), QStringLiteral("  two@example.jp  ")},
                                                     {QStringLiteral("三"), QStringLiteral("three@example.jp")}});
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        clickButton(form, "Command4");
        child<QRadioButton>(form, "Option2")->click();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral(" typed@example.jp "));
        child<QLineEdit>(form, "SubjectText")->setText(QStringLiteral("お知らせ"));
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("皆様へ"));
        clickButton(form, "Command1");
        QVERIFY(dialogs_->shown.isEmpty());
        QTRY_VERIFY(form.isNull());

        const QList<SpooledMail> spooled = servers_.waitForSpooled(3);
        QCOMPARE(spooled.size(), 3);
        QStringList recipients;
        for (const SpooledMail &m : spooled)
            recipients << m.recipients;
        QCOMPARE(recipients, (QStringList{"one@example.jp", "two@example.jp", "three@example.jp"}));
        // One record per recipient, with the address the mail went to.
        QCOMPARE(sentAddresses(), recipients);
    }

    // The address list never opened: the bulk send still goes to the address book.
    void bulkWithoutOpeningTheList()
    {
        writeAddressFile(addressbook::Source::Book, {{QStringLiteral("一"), QStringLiteral("one@example.jp")},
                                                     {QStringLiteral("二"), QStringLiteral("二郎 <two@example.jp>")}});
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QRadioButton>(form, "Option2")->click();
        child<QLineEdit>(form, "SubjectText")->setText(QStringLiteral("お知らせ"));
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("皆様へ"));
        clickButton(form, "Command1");
        QVERIFY2(dialogs_->shown.isEmpty(), qPrintable(dialogs_->texts().join('|')));
        QTRY_VERIFY(form.isNull());
        QCOMPARE(envelopes(servers_.waitForSpooled(2)), (QStringList{"one@example.jp", "two@example.jp"}));
        QCOMPARE(sentAddresses(), (QStringList{"one@example.jp", QStringLiteral("二郎 <two@example.jp>")}));
    }

    // Bulk mode sends no fortune, whatever the box says.
    void bulkSendsNoFortune()
    {
        writeAddressFile(addressbook::Source::Book,
                         {{"A", "a@example.jp"}, {"B", "b@example.jp"}, {"C", "c@example.jp"}});
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        clickButton(form, "Command4");
        child<QRadioButton>(form, "Option2")->click();
        child<QCheckBox>(form, "Check1")->setChecked(true);
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("皆様へ"));
        clickButton(form, "Command1");
        QTRY_VERIFY(form.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(3);
        QCOMPARE(spooled.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const ReadBack mail = readBack(spooled[i], folder_->file(QStringLiteral("out%1").arg(i)));
            QCOMPARE(trimmedCrLf(mail.texts.body), QStringLiteral("皆様へ"));
        }
    }

    void bulkSkipsPassesWithoutAnAddress()
    {
        // The list shows three preset names, the book holds one address.
        writeAddressFile(addressbook::Source::PresetList, {{"a", "a@example.jp"}, {"b", "b@example.jp"}, {"c", "c@example.jp"}});
        writeAddressFile(addressbook::Source::Book, {{QStringLiteral("本"), QStringLiteral("book@example.jp")}});
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QRadioButton>(form, "Option2")->click();
        clickButton(form, "Command1");
        QTRY_VERIFY(form.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        QCOMPARE(spooled.size(), 1);
        QCOMPARE(spooled[0].recipients, QStringList{QStringLiteral("book@example.jp")});
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 1);
    }

    // An empty address book: the user is told, and the window keeps the mail.
    void bulkWithAnEmptyBookSaysSo()
    {
        writeAddressFile(addressbook::Source::PresetList, {{"a", "a@example.jp"}});
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QRadioButton>(form, "Option2")->click();
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("皆様へ"));
        clickButton(form, "Command1");
        QCOMPARE(dialogs_->texts(),
                 QStringList{QStringLiteral("アドレス帳にメールアドレスが登録されていないため、一括送信できません。")});
        QApplication::processEvents();
        QVERIFY(form && form->isVisible());
        QCOMPARE(child<QPlainTextEdit>(form, "BodyText")->toPlainText(), QStringLiteral("皆様へ"));
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
        QCOMPARE(servers_.spooled().size(), 0);
    }

    // A long name card registered in the address book window and a 78-character
    // address, each picked in the compose window: the envelope holds the whole
    // address, the sent history keeps it whole beside a shortened name.
    void longAddressesGoOutWhole()
    {
        const QString long78 = QStringLiteral("list.for.announcements.and.other.purposes@subdomain.of.a.long.example.co.jp");
        const QString address = QStringLiteral("pilgrim.of.the.eighty.eight.temples@shikoku.example.co.jp");
        writeAddressFile(addressbook::Source::Book, {{QStringLiteral("長い"), long78}});
        QWidget *book = Windows::show(QStringLiteral("FriendForm"));
        child<QLineEdit>(book, "Text2")->setText(QStringLiteral("遍路"));
        child<QLineEdit>(book, "Text4")->setText(address);
        child<QLineEdit>(book, "Text50")->setText(QStringLiteral("四国八十八箇所霊場会　事務局長　お遍路太郎"));
        clickButton(book, "Command38");
        clickButton(book, "Command3");
        book->close();
        QCOMPARE(dialogs_->shown.size(), 1);  // the name card was shortened, and the user told so

        for (int row = 0; row < 2; ++row) {
            QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
            form->show();
            clickButton(form, "Command4");
            pressAddressRow(child<QListWidget>(form, "List1"), row);
            child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("長い宛先"));
            clickButton(form, "Command1");
            QTRY_VERIFY(form.isNull());
        }
        const QList<SpooledMail> spooled = servers_.waitForSpooled(2);
        QCOMPARE(envelopes(spooled), (QStringList{long78, address}));
        const QStringList recorded = sentAddresses();
        QCOMPARE(recorded[0], long78);
        QVERIFY2(recorded[1].endsWith(QStringLiteral(" <") + address + u'>'), qPrintable(recorded[1]));
        QCOMPARE(dialogs_->shown.size(), 1);
    }

    // A display name too long for the history's 90-byte field: the mail goes
    // to the whole address, the record shortens the name and keeps the address.
    void longDisplayNameIsShortenedInTheHistory()
    {
        // 64 bytes of name, 29 of " <address>": three too many for the field.
        const QString name = QStringLiteral("四国八十八箇所霊場会　事務局長　お遍路太郎　と　その仲間たち一同");
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(name + QStringLiteral(" <long.address@example.co.jp>"));
        clickButton(form, "Command1");
        QVERIFY(dialogs_->shown.isEmpty());
        QTRY_VERIFY(form.isNull());
        QCOMPARE(envelopes(servers_.waitForSpooled(1)), QStringList{QStringLiteral("long.address@example.co.jp")});
        QCOMPARE(sentAddresses(), QStringList{name.left(30) + QStringLiteral(" <long.address@example.co.jp>")});
    }

    // A refused send leaves no record; its corrected retry leaves exactly one.
    void onlyAcceptedMailIsRecorded()
    {
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@@example.jp"));
        child<QLineEdit>(form, "SubjectText")->setText(QStringLiteral("便り"));
        clickButton(form, "Command1");
        QCOMPARE(dialogs_->shown.size(), 1);
        QCOMPARE(dialogs_->last().title, QStringLiteral("送信エラー"));
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        clickButton(form, "Command1");
        QTRY_VERIFY(form.isNull());
        QCOMPARE(envelopes(servers_.waitForSpooled(1)), QStringList{QStringLiteral("friend@example.jp")});
        QCOMPARE(sentAddresses(), QStringList{QStringLiteral("friend@example.jp")});
    }

    // A mail the server took but the history cannot hold is reported as such.
    void unstorableRecordIsReported()
    {
        QDir().mkpath(mail::historyPath(mail::HistoryKind::Sent));  // a folder where the file belongs
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("you@example.jp"));
        clickButton(form, "Command1");
        QCOMPARE(dialogs_->shown.size(), 1);
        QVERIFY(dialogs_->last().text.startsWith(QStringLiteral("送信しましたが、送信履歴に保存できませんでした。")));
        QTRY_VERIFY(form.isNull());
        QCOMPARE(servers_.waitForSpooled(1).size(), 1);
    }

    // A send refused by the program's own address check, its window closed
    // without a retry: the reply window still sends.
    void refusedComposeSendLeavesTheReplyWindowWorking()
    {
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("not an address"));
        clickButton(form, "Command1");
        QCOMPARE(dialogs_->shown.size(), 1);
        dialogs_->questionAnswers << true;  // the unsent text may go
        clickButton(form, "Command3");
        QTRY_VERIFY(form.isNull());

        QPointer<compose::BackForm> reply = Windows::get<compose::BackForm>(QStringLiteral("BackForm"));
        child<QLineEdit>(reply, "ToText")->setText(QStringLiteral("friend@example.jp"));
        child<QTextEdit>(reply, "BodyText")->setPlainText(QStringLiteral("お返事です"));
        reply->show();
        clickButton(reply, "Command2");
        QCOMPARE(dialogs_->shown.size(), 2);  // the refusal and the question before closing
        QTRY_VERIFY(reply.isNull());
        QCOMPARE(envelopes(servers_.waitForSpooled(1)), QStringList{QStringLiteral("friend@example.jp")});
    }

    // "返事を書く" on a received mail whose sender's name holds a comma: the
    // reply goes to that one address.
    void replyGoesToTheSenderOfTheReceivedMail()
    {
        // Its record holds notes of the program, which never go out.
        mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("お便り"), QStringLiteral("d"),
                               QStringLiteral("Shikoku, Hanako <long.address@example.co.jp>"),
                               QStringLiteral("本文\r\n\r\n〓〓 差出人「x」は履歴に入りきりません。元のメール全体は「受信原本/x.eml」にあります。\r\n")
                                   + mail::checktext::AttachmentNotice + QStringLiteral("\r\n（a.txt）"));
        mail::openHistoryWindow(mail::HistoryKind::Received);
        auto *history = qobject_cast<mail::TyakuForm *>(Windows::loaded(QStringLiteral("TyakuForm")));
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        const QRect row = history->mailList()->visualRect(history->mailListModel()->index(0, 0));
        QTest::mouseClick(history->mailList()->viewport(), Qt::LeftButton, {}, row.center());
        clickButton(history, "Command5");
        QPointer<QWidget> reply = Windows::loaded(QStringLiteral("BackForm"));
        QVERIFY(reply && reply->isVisible());
        clickButton(reply, "Command2");
        QVERIFY2(dialogs_->shown.isEmpty(), qPrintable(dialogs_->texts().join('|')));
        QTRY_VERIFY(reply.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        QCOMPARE(envelopes(spooled), QStringList{QStringLiteral("long.address@example.co.jp")});
        QCOMPARE(trimmedCrLf(readBack(spooled[0], folder_->file("out")).texts.body), QStringLiteral("本文"));
    }

    // "返事を書く" on a received mail kept whole: the reply quotes the mail
    // as written (no notes of the program, no file paths), goes to the whole
    // sender, threads under it, and does not stack "Re:".
    void replyQuotesTheKeptOriginal()
    {
        const QString sender = QStringLiteral("株式会社四国遍路用品店オンラインショップ カスタマーサポートセンター <support@example.co.jp>");
        const QByteArray raw = "From: =?UTF-8?B?" + sender.section(u'<', 0, 0).trimmed().toUtf8().toBase64()
                               + "?= <support@example.co.jp>\r\nTo: sender@example.jp\r\n"
                                 "Subject: Re: Re: =?UTF-8?B?" + QStringLiteral("ご注文😀").toUtf8().toBase64() + "?=\r\n"
                                 "Message-ID: <answered@example.co.jp>\r\nReferences: <root@example.co.jp>\r\n"
                                 "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n"
                               + QStringLiteral("ご注文ありがとうございます😀\r\n").toUtf8();
        const QString name = QStringLiteral("20261209-010203-0123456789abcdef.eml");
        writeFile(paths::ensureFolder(QString::fromUtf16(paths::OriginalsFolder)) + u'/' + name, raw);
        mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("Re: Re: ご注文〓"), QStringLiteral("d"),
                               fitAddressField(sender, mail::MailAddressWidth).text,
                               QStringLiteral("ご注文ありがとうございます〓\r\n\r\n〓〓 この本文は履歴に全部は入りませんでした"
                                              "（表示できない文字を〓に置換）。元のメール全体は「受信原本/%1」にあります。").arg(name),
                               nullptr, RecordFile::Durability::OnDisk, name);
        mail::openHistoryWindow(mail::HistoryKind::Received);
        auto *history = qobject_cast<mail::TyakuForm *>(Windows::loaded(QStringLiteral("TyakuForm")));
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        const QRect row = history->mailList()->visualRect(history->mailListModel()->index(0, 0));
        QTest::mouseClick(history->mailList()->viewport(), Qt::LeftButton, {}, row.center());
        clickButton(history, "Command5");
        QPointer<QWidget> reply = Windows::loaded(QStringLiteral("BackForm"));
        QVERIFY(reply && reply->isVisible());
        QCOMPARE(child<QLineEdit>(reply, "SubjectText")->text(), QStringLiteral("Re:  ご注文😀"));
        QCOMPARE(child<QLineEdit>(reply, "ToText")->text(), sender);
        clickButton(reply, "Command2");
        QVERIFY2(dialogs_->shown.isEmpty(), qPrintable(dialogs_->texts().join('|')));
        QTRY_VERIFY(reply.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        const QByteArray &m = spooled[0].content;
        QVERIFY(m.contains("\r\nIn-Reply-To: <answered@example.co.jp>\r\n"
                           "References: <root@example.co.jp> <answered@example.co.jp>\r\n"));
        const ReadBack back = readBack(spooled[0], folder_->file("out"));
        QCOMPARE(trimmedCrLf(back.texts.body), QStringLiteral("ご注文ありがとうございます😀"));
        QCOMPARE(back.texts.subject, QStringLiteral("Re:  ご注文😀"));
        const QList<mime::HeaderField> fields = mime::parseHeaderBlock(m.constData(), mime::splitMessage(m).headerEnd);
        QCOMPARE(mime::decodeHeaderText(mime::headerValue(fields, "To")), sender);
    }

    void attachmentsAllArrive()
    {
        QTemporaryDir files;
        writeFile(files.filePath("札所一覧.txt"), "1 霊山寺\r\n2 極楽寺\r\n");
        QByteArray binary;
        for (int i = 0; i < 5000; ++i)
            binary.append(char(i * 7));
        writeFile(files.filePath("map.bin"), binary);
        dialogs_->fileAnswers << files.filePath("札所一覧.txt") << files.filePath("map.bin");

        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("添付します"));
        clickButton(form, "AttachCommand");
        clickButton(form, "Command9");
        clickButton(form, "Command1");
        QVERIFY2(dialogs_->texts().size() == 2, qPrintable(dialogs_->texts().join('|')));
        QTRY_VERIFY(form.isNull());

        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        QCOMPARE(spooled.size(), 1);
        const ReadBack mail = readBack(spooled[0], folder_->file("out"));
        QCOMPARE(mail.attachments.size(), 2);
        QCOMPARE(readFile(mail.folder + "/" + QStringLiteral("札所一覧.txt")), readFile(files.filePath("札所一覧.txt")));
        QCOMPARE(readFile(mail.folder + "/map.bin"), binary);
        QCOMPARE(trimmedCrLf(mail.texts.body), QStringLiteral("添付します"));
    }

    // Text files in Shift_JIS and EUC-JP go out labelled with their charset.
    void textAttachmentsCarryTheirCharset()
    {
        QTemporaryDir files;
        const QByteArray sjis("\x91\xE6\x88\xEA\x94\xD4\x81\x40\x97\xEC\x8E\x52\x8E\x9B\x0D\x0A"
                              "\x91\xE6\x93\xF1\x94\xD4\x81\x40\x8B\xC9\x8A\x79\x8E\x9B\x0D\x0A");
        const QByteArray euc("\xC2\xE8\xB0\xEC\xC8\xD6\xA1\xA1\xCE\xEE\xBB\xB3\xBB\xFB\x0D\x0A"
                             "\xC2\xE8\xC6\xF3\xC8\xD6\xA1\xA1\xB6\xCB\xB3\xDA\xBB\xFB\x0D\x0A");
        writeFile(files.filePath("sjis.txt"), sjis);
        writeFile(files.filePath("euc.txt"), euc);
        writeFile(files.filePath("utf8.txt"), QStringLiteral("第一番　霊山寺\r\n").toUtf8());
        dialogs_->fileAnswers << files.filePath("sjis.txt") << files.filePath("euc.txt") << files.filePath("utf8.txt");

        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        clickButton(form, "AttachCommand");
        clickButton(form, "Command9");
        clickButton(form, "Command9");
        clickButton(form, "Command1");
        QTRY_VERIFY(form.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        QCOMPARE(spooled.size(), 1);
        const QByteArray &m = spooled[0].content;
        QVERIFY(m.contains("Content-Type: text/plain; charset=Shift_JIS;\r\n name=\"sjis.txt\""));
        QVERIFY(m.contains("Content-Type: text/plain; charset=EUC-JP;\r\n name=\"euc.txt\""));
        QVERIFY(m.contains("Content-Type: text/plain; charset=UTF-8;\r\n name=\"utf8.txt\""));
        // The bytes themselves are sent as they are.
        const ReadBack mail = readBack(spooled[0], folder_->file("out"));
        QCOMPARE(readFile(mail.folder + "/sjis.txt"), sjis);
        QCOMPARE(readFile(mail.folder + "/euc.txt"), euc);
    }

    void replyGoesOutSilently()
    {
        QPointer<compose::BackForm> reply = Windows::get<compose::BackForm>(QStringLiteral("BackForm"));
        child<QLineEdit>(reply, "SubjectText")->setText(QStringLiteral("Re:  Hello"));
        child<QLineEdit>(reply, "ToText")->setText(QStringLiteral("friend@example.jp"));
        child<QTextEdit>(reply, "BodyText")->setPlainText(QStringLiteral("お返事です"));
        reply->show();
        clickButton(reply, "Command2");
        QVERIFY(dialogs_->shown.isEmpty());
        QTRY_VERIFY(reply.isNull());
        const QList<SpooledMail> spooled = servers_.waitForSpooled(1);
        QCOMPARE(spooled.size(), 1);
        QCOMPARE(spooled[0].recipients, QStringList{QStringLiteral("friend@example.jp")});
        const ReadBack mail = readBack(spooled[0], folder_->file("out"));
        QCOMPARE(sentSubject(spooled[0].content), QStringLiteral("Re:  Hello"));
        QCOMPARE(trimmedCrLf(mail.texts.body), QStringLiteral("お返事です"));
        // The reply is not written to the sent history.
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
    }

private:
    MailServers servers_;
    std::unique_ptr<TestProgramFolder> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

QTEST_MAIN(TestComposeSend)
#include "test_compose_send.moc"
