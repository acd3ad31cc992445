// Sending from the compose and reply windows through the private SMTP server.
#include "composetesting.h"

#include "compose/backform.h"
#include "compose/fortune.h"
#include "mail/mailhistory.h"
#include "mail/nmail.h"
#include "mailservers_support.h"
#include "scripteddialogs.h"
#include "settings/settings.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextEdit>

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

QString trimmedCrLf(QString s)
{
    while (s.endsWith(u'\r') || s.endsWith(u'\n'))
        s.chop(1);
    return s;
}

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
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 3);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(mail::readMailRecord(mail::HistoryKind::Sent, n)->address, QStringLiteral("typed@example.jp"));
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

    void bulkWithAnEmptyListSendsNothing()
    {
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QRadioButton>(form, "Option2")->click();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("friend@example.jp"));
        clickButton(form, "Command1");
        // The window is closed but not yet gone: it still shows the last status.
        QVERIFY(form);
        QCOMPARE(child<QLabel>(form, "Label7")->text(), QStringLiteral("送信完了です。"));
        QTRY_VERIFY(form.isNull());
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
        QCOMPARE(servers_.spooled().size(), 0);
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
