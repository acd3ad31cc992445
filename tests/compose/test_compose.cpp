#include "composetesting.h"

#include "compose/backform.h"
#include "compose/draft.h"
#include "compose/fortune.h"
#include "common/paths.h"
#include "history/mailhistory.h"
#include "mailservers_support.h"
#include "scripteddialogs.h"
#include "settings/settings.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTextEdit>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <cmath>

using namespace korvane;
using namespace korvane::test;
using compose::WriteForm;

namespace {

const QString Sending = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");

QColor listColour(QWidget *form)
{
    return child<QListWidget>(form, "List1")->palette().color(QPalette::Base);
}

void hover(QWidget *w)
{
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(w, &enter);
}

// A main window that only has its clock text.
QWidget *makeMainStandIn()
{
    auto *w = new QWidget;
    auto *clock = new QLineEdit(w);
    clock->setObjectName(QStringLiteral("Text6"));
    clock->setText(QStringLiteral("2003/01/08  14:05:09"));
    return w;
}

}  // namespace

class TestCompose : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerComposeWindows();
        Windows::registerFactory(QStringLiteral("Mainform"), makeMainStandIn);
    }

    void init()
    {
        folder_ = std::make_unique<TestProgramFolder>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        settings::serverSettings() = {};
        compose::setFortuneDraw({});
    }

    void cleanup()
    {
        Windows::unloadAll();
        dialogs_.reset();
        folder_.reset();
    }

    void loadsInItsStartState()
    {
        writeAddressFile(addressbook::Source::PresetList,
                         {{QStringLiteral("四国太郎"), QStringLiteral("taro@example.jp")},
                          {QStringLiteral("Ohenro"), QStringLiteral("o@example.jp")}});
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        QCOMPARE(form->size(), QSize(twips(7100), twips(8200)));
        auto *list = child<QListWidget>(form, "List1");
        QCOMPARE(list->count(), 2);
        // Names as stored, fill spaces included.
        QCOMPARE(list->item(0)->text(), QStringLiteral("四国太郎") + QString(82, u' '));
        QCOMPARE(child<QLineEdit>(form, "Text1")->text(), QStringLiteral("2"));
        auto *combo = child<QComboBox>(form, "Combo1");
        QCOMPARE(combo->count(), 8);
        QCOMPARE(combo->currentText(), QString());
        QVERIFY(!child<QPushButton>(form, "Command9")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "Command2")->isVisibleTo(form));
        QVERIFY(child<QWidget>(form, "Picture5")->x() >= twips(7100));
    }

    void widensToTheAddressBookAndBack()
    {
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        auto *list = child<QListWidget>(form, "List1");
        QCOMPARE(list->count(), 0);  // no preset list: created empty
        writeAddressFile(addressbook::Source::Book, {{"A", "a@example.jp"}, {"B", "b@example.jp"}, {"C", "c@example.jp"}});
        clickButton(form, "Command4");
        QCOMPARE(form->size(), QSize(twips(9700), twips(8200)));
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(2)->text().trimmed(), QStringLiteral("C"));
        QCOMPARE(child<QLineEdit>(form, "Text1")->text(), QStringLiteral("3"));
        child<QRadioButton>(form, "Option2")->click();
        QCOMPARE(listColour(form), QColor(0, 128, 0));
        clickButton(form, "Command6");
        QCOMPARE(form->width(), twips(7100));
        QCOMPARE(listColour(form), QColor(255, 255, 255));
    }
    void pickAddress_data()
    {
        QTest::addColumn<bool>("widen");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected");
        // An address is never cut: 78 characters, and a name card filling the whole field.
        const QString long78 = QStringLiteral("list.for.announcements.and.other.purposes@subdomain.of.a.long.example.co.jp");
        QTest::newRow("78 characters") << true << long78 << long78;
        const QString card = QStringLiteral("お遍路 <") + QString(76, u'x') + QStringLiteral("@e.jp>");
        QTest::newRow("90 bytes") << true << card << card;
        QTest::newRow("trimmed") << true << QStringLiteral("  taro@example.jp  ") << QStringLiteral("taro@example.jp");
        // The preset list is shown, but the address comes from the book.
        QTest::newRow("preset list") << false << QStringLiteral("太郎<t@example.jp>") << QStringLiteral("太郎<t@example.jp>");
    }
    void pickAddress()
    {
        QFETCH(bool, widen);
        QFETCH(QString, stored);
        writeAddressFile(addressbook::Source::PresetList, {{"p1", "p1@example.jp"}, {"p2", "p2@example.jp"}});
        writeAddressFile(addressbook::Source::Book, {{"first", "first@example.jp"}, {"x", stored}});
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        if (widen)
            clickButton(form, "Command4");
        pressAddressRow(child<QListWidget>(form, "List1"), 1);
        QTEST(child<QLineEdit>(form, "ToText")->text(), "expected");
        QVERIFY(dialogs_->shown.isEmpty());
    }
    void pickAddressWithNothingSelected()
    {
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral("kept"));
        pressAddressRow(child<QListWidget>(form, "List1"), -1);
        QCOMPARE(dialogs_->texts(), QStringList{QStringLiteral("データが選択されていません")});
        QCOMPARE(child<QLineEdit>(form, "ToText")->text(), QStringLiteral("kept"));
    }

    void attachmentButtons()
    {
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        auto *paths = child<QLineEdit>(form, "AttachText");
        auto *list = child<QListWidget>(form, "List2");
        // A cancelled first dialog chooses no file but still uses up the button.
        clickButton(form, "AttachCommand");
        QCOMPARE(paths->text(), QString());
        QVERIFY(!child<QPushButton>(form, "AttachCommand")->isEnabled());
        // "追加" without a first file only shows the (empty) list.
        clickButton(form, "Command9");
        QCOMPARE(dialogs_->shown.size(), 1);
        QVERIFY(list->isVisibleTo(form));
        clickButton(form, "Command10");
        QVERIFY(!child<QPushButton>(form, "Command9")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "Command10")->isEnabled());

        dialogs_->fileAnswers << "/data/a file.txt" << "/data/b.pdf";
        clickButton(form, "AttachCommand");
        clickButton(form, "Command9");
        clickButton(form, "Command9");  // cancelled: adds nothing
        QCOMPARE(paths->text(), QStringLiteral("/data/a file.txt,/data/b.pdf"));
        QCOMPARE(list->count(), 2);
    }

    void clipboardButtonsAndOptions()
    {
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        auto *body = child<QPlainTextEdit>(form, "BodyText");
        QApplication::clipboard()->setText(QStringLiteral("xyz"));
        body->setPlainText(QStringLiteral("abc"));
        clickButton(form, "Command5");
        QCOMPARE(body->toPlainText(), QStringLiteral("abcxyz"));
        // "取消" empties the recipient even without bulk send.
        clickButton(form, "Command7");
        QApplication::clipboard()->clear();
        clickButton(form, "Command7");  // nothing to paste: the recipient stays
        QCOMPARE(child<QLineEdit>(form, "ToText")->text(), QStringLiteral("xyz"));
        child<QRadioButton>(form, "Option1")->click();
        QCOMPARE(child<QLineEdit>(form, "ToText")->text(), QString());
    }

    void hints()
    {
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        auto *hint = child<QPlainTextEdit>(form, "Text14");
        hover(child<QPushButton>(form, "Command8"));
        QVERIFY(hint->isVisibleTo(form));
        const QStringList lines = hint->toPlainText().split(u'\n');
        QCOMPARE(lines.size(), 7);
        QVERIFY(lines[2].endsWith(QStringLiteral("ボタンを。クリックしますと、本分中に挿入されます。")));
        hover(child<QPlainTextEdit>(form, "BodyText"));
        QVERIFY(!hint->isVisibleTo(form));
    }

    void greetingOpensTheBodyOnlyWhenChosen()
    {
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        auto *combo = child<QComboBox>(form, "Combo1");
        auto *subject = child<QLineEdit>(form, "SubjectText");
        auto *body = child<QPlainTextEdit>(form, "BodyText");
        body->setPlainText(QStringLiteral("written"));
        // Passing through the empty greeting box leaves the body alone.
        combo->setFocus();
        QTRY_VERIFY(combo->hasFocus());
        subject->setFocus();
        QTRY_VERIFY(subject->hasFocus());
        QCOMPARE(body->toPlainText(), QStringLiteral("written"));
        // A chosen greeting goes in front of what was written when the box is
        // left; undo takes it back.
        combo->setFocus();
        QTRY_VERIFY(combo->hasFocus());
        combo->setCurrentIndex(3);
        subject->setFocus();
        QTRY_VERIFY(subject->hasFocus());
        QCOMPARE(body->toPlainText(), QStringLiteral("いつもお世話になっております。\nwritten"));
        body->undo();
        QCOMPARE(body->toPlainText(), QStringLiteral("written"));
        // Into an empty body, the greeting alone.
        body->clear();
        combo->setFocus();
        QTRY_VERIFY(combo->hasFocus());
        combo->setCurrentIndex(0);
        subject->setFocus();
        QTRY_VERIFY(subject->hasFocus());
        QCOMPARE(body->toPlainText(), WriteForm::greetings().at(0));
    }

    void fortuneDraw_data()
    {
        QTest::addColumn<double>("draw");
        QTest::addColumn<int>("fortune");
        QTest::newRow("0") << 0.0 << 1;
        QTest::newRow("just below 1/12") << 1.0 / 12 - 1e-6 << 1;
        QTest::newRow("1/12") << 1.0 / 12 + 1e-7 << 2;
        QTest::newRow("one half") << 0.5 << 7;
        QTest::newRow("largest single below 1") << double(std::nextafter(1.0f, 0.0f)) << 12;
        QTest::newRow("largest double below 1") << std::nextafter(1.0, 0.0) << 12;
    }

    void fortuneDraw()
    {
        QFETCH(double, draw);
        QFETCH(int, fortune);
        QCOMPARE(compose::pickFortune(draw), fortune);
        compose::setFortuneDraw([draw] { return draw; });
        QCOMPARE(compose::pickFortune(), fortune);
    }

    void fortuneTableOdds()
    {
        // 大吉 3, 中吉 5, 吉 2, 凶 2 of twelve.
        QStringList kinds;
        for (const QString &f : compose::fortuneTable())
            kinds << f.section(u'：', 0, 0);
        QCOMPARE(kinds.join(u' '), QStringLiteral("大吉 大吉 大吉 中吉 中吉 中吉 中吉 中吉 吉 吉 凶 凶"));
        QCOMPARE(compose::withFortune(QStringLiteral("Hello"), 12),
                 QStringLiteral("Hello\r\n\r\n") + compose::fortuneHeader() + QStringLiteral("\r\n\r\n") +
                     QStringLiteral("凶：言動慎むべし。最大の配慮がなければ、運気、万事下降するおそれ有り。"));
    }

    void refusedSendKeepsWhatWasWritten()
    {
        Windows::get(QStringLiteral("Mainform"));
        QTemporaryDir files;
        writeFile(files.filePath("a.txt"), "A");
        settings::serverSettings().smtpServer = QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort());
        settings::serverSettings().mailAddress = QStringLiteral("me@example.jp");
        compose::setFortuneDraw([] { return 0.0; });

        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        child<QLineEdit>(form, "ToText")->setText(QStringLiteral(" you@example.jp "));
        child<QLineEdit>(form, "SubjectText")->setText(QStringLiteral("  件名  "));
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral(" line 1\nline 2 "));
        child<QCheckBox>(form, "Check1")->setChecked(true);
        dialogs_->fileAnswers << files.filePath("a.txt");
        clickButton(form, "AttachCommand");

        QString statusWhileSending;
        bool inputWhileSending = true;
        bool closedWhileSending = true;
        QTimer::singleShot(0, form, [&] {
            statusWhileSending = child<QLabel>(form, "Label7")->text();
            inputWhileSending = child<QPushButton>(form, "Command1")->isEnabled() ||
                                child<QPlainTextEdit>(form, "BodyText")->isEnabled();
            closedWhileSending = form->close();
        });
        clickButton(form, "Command1");

        QCOMPARE(statusWhileSending, Sending);
        QVERIFY(!inputWhileSending);
        QVERIFY(!closedWhileSending);
        dialogs_->shown.removeFirst();  // the file dialog
        QCOMPARE(dialogs_->shown.size(), 1);
        QCOMPARE(dialogs_->last().title, QStringLiteral("送信エラー"));
        QVERIFY(!dialogs_->last().text.isEmpty());
        // A mail that did not go out is not in the sent history.
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
        // The window stays, with what was written and no fortune.
        QApplication::processEvents();
        QVERIFY(form && form->isVisible());
        QCOMPARE(child<QLineEdit>(form, "ToText")->text(), QStringLiteral(" you@example.jp "));
        QCOMPARE(child<QLineEdit>(form, "SubjectText")->text(), QStringLiteral("  件名  "));
        QCOMPARE(child<QPlainTextEdit>(form, "BodyText")->toPlainText(), QStringLiteral(" line 1\nline 2 "));
        QCOMPARE(child<QLineEdit>(form, "AttachText")->text(), files.filePath("a.txt"));
        QVERIFY(child<QCheckBox>(form, "Check1")->isChecked());
        QVERIFY(child<QPushButton>(form, "Command1")->isEnabled());
        QVERIFY(child<QPushButton>(form, "Command9")->isEnabled());
        QCOMPARE(child<QLabel>(form, "Label7")->text(), QString());
    }

    void bulkSendGoesOnAfterRefusals()
    {
        writeAddressFile(addressbook::Source::Book, {{"A", "a@example.jp"}, {"B", "b@example.jp"}});
        settings::serverSettings().smtpServer = QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort());
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        clickButton(form, "Command4");
        child<QRadioButton>(form, "Option2")->click();
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("皆様へ"));
        clickButton(form, "Command1");
        // Each refusal is reported; nothing went out, so nothing is recorded
        // and the window stays with what was written.
        QCOMPARE(dialogs_->shown.size(), 2);
        QCOMPARE(dialogs_->shown[1].title, QStringLiteral("送信エラー"));
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
        QApplication::processEvents();
        QVERIFY(form && form->isVisible());
        QCOMPARE(child<QPlainTextEdit>(form, "BodyText")->toPlainText(), QStringLiteral("皆様へ"));
        QVERIFY(child<QRadioButton>(form, "Option2")->isChecked());
    }

    void cancelClosesWithoutSending()
    {
        QPointer<WriteForm> form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        form->show();
        clickButton(form, "Command3");
        QTRY_VERIFY(form.isNull());
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
        // The next request loads the window afresh.
        auto *again = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        QVERIFY(again);
        QCOMPARE(child<QLineEdit>(again, "ToText")->text(), QString());
    }

    // Closing a window that holds text the user wrote and did not send asks
    // first; "いいえ" keeps the window and the text.
    void closingWithUnsentTextAsks_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("typed");
        QTest::addColumn<bool>("discard");
        for (const char *window : {"WriteForm", "BackForm"}) {
            const QString name = QString::fromLatin1(window);
            QTest::addRow("%s, nothing typed", window) << name << false << false;
            QTest::addRow("%s, keep writing", window) << name << true << false;
            QTest::addRow("%s, discard", window) << name << true << true;
        }
    }
    void closingWithUnsentTextAsks()
    {
        QFETCH(QString, window);
        QFETCH(bool, typed);
        QFETCH(bool, discard);
        QPointer<QWidget> w = Windows::get(window);
        auto *body = child<QAbstractScrollArea>(w, "BodyText");
        if (window == u"BackForm") {  // filled by the history window
            w->setProperty("historyKind", 2);
            child<QLineEdit>(w, "SubjectText")->setText(QStringLiteral("Re:  Hello"));
            body->setProperty("plainText", QStringLiteral("Hi"));
        }
        w->show();
        if (typed) {
            QVERIFY(QTest::qWaitForWindowActive(w));
            body->setFocus();
            QTRY_VERIFY(body->hasFocus());
            QTest::keyClicks(body, "typed");
        }
        dialogs_->questionAnswers << discard;
        w->close();
        QCOMPARE(dialogs_->shown.size(), typed ? 1 : 0);
        // Enter keeps the text: throwing it away takes a deliberate "はい".
        QVERIFY(!typed || !dialogs_->last().defaultYes);
        if (typed && !discard) {
            QApplication::processEvents();
            QVERIFY(w && w->isVisible());
            QVERIFY(body->property("plainText").toString().contains(QStringLiteral("typed")));
        } else {
            QTRY_VERIFY(w.isNull());
        }
        // A new mail let go leaves no copy behind; one still written is kept.
        if (window == u"WriteForm")
            QTRY_COMPARE(compose::loadDraft().has_value(), typed && !discard);
    }

    // What is typed into a new mail outlives the window vanishing without its
    // closing steps (a crash, or the program ended from its main window): the
    // next compose window opens with it. Emptied, the window keeps nothing.
    void unsentMailComesBack()
    {
        const compose::Draft written{QStringLiteral("四国 太郎 <taro@example.jp>"), QStringLiteral("お遍路\\の\t件名"),
                                     QStringLiteral("/tmp/a b.txt"),
                                     QStringLiteral("一行目\n\t二行目 \\n は文字のまま\n\n")};
        auto *form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        QVERIFY(!form->reopenedDraft());
        child<QLineEdit>(form, "ToText")->setText(written.to);
        child<QLineEdit>(form, "SubjectText")->setText(written.subject);
        child<QLineEdit>(form, "AttachText")->setText(written.attachments);
        child<QPlainTextEdit>(form, "BodyText")->setPlainText(written.body);
        QTRY_VERIFY(compose::loadDraft().has_value());
        const QString file = paths::resolve(QStringLiteral("\\★MAilData\\plxdraft.txt"));
        QCOMPARE(QFile::permissions(file) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        Windows::unloadAll();

        form = Windows::get<WriteForm>(QStringLiteral("WriteForm"));
        QVERIFY(form->reopenedDraft());
        QCOMPARE(compose::Draft({child<QLineEdit>(form, "ToText")->text(), child<QLineEdit>(form, "SubjectText")->text(),
                                 child<QLineEdit>(form, "AttachText")->text(),
                                 child<QPlainTextEdit>(form, "BodyText")->toPlainText()}),
                 written);
        QVERIFY(!child<QLabel>(form, "Label7")->text().isEmpty());

        clickButton(form, "Command11");  // クリア
        QTRY_VERIFY(!QFileInfo::exists(file));
        // Bytes that are not a kept draft open nothing.
        QVERIFY(!compose::parseDraft("korvane-draft 1\nto\tx\n"));
        QVERIFY(!compose::parseDraft("From: x\n\nbody"));
    }

    // A reply typed and left the same way comes back with the mail it answers.
    void unsentReplyComesBack()
    {
        auto *w = Windows::get<compose::BackForm>(QStringLiteral("BackForm"));
        w->setProperty("historyKind", 2);
        child<QLineEdit>(w, "SubjectText")->setText(QStringLiteral("Re:  Hello"));
        auto *body = child<QTextEdit>(w, "BodyText");
        body->setPlainText(QStringLiteral("Hi"));
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w));
        body->setFocus();
        QTRY_VERIFY(body->hasFocus());
        QTest::keyClicks(body, "typed");
        QTRY_VERIFY(compose::loadDraft(compose::DraftKind::Reply).has_value());
        Windows::unloadAll();

        QPointer<compose::BackForm> again = Windows::get<compose::BackForm>(QStringLiteral("BackForm"));
        QVERIFY(again->reopenedDraft());
        QVERIFY(child<QTextEdit>(again, "BodyText")->toPlainText().contains(QStringLiteral("typed")));
        QCOMPARE(child<QLineEdit>(again, "SubjectText")->text(), QStringLiteral("Re:  Hello"));
        QCOMPARE(again->answeredBody(), QStringLiteral("Hi"));
        dialogs_->questionAnswers << true;
        again->close();
        QTRY_VERIFY(again.isNull());
        QVERIFY(!compose::loadDraft(compose::DraftKind::Reply));
    }

    // Files dropped on the body or a box are attached, all of them, and the
    // box keeps its text.
    void droppedFilesAreAttached_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("target");
        QTest::newRow("compose body") << QStringLiteral("WriteForm") << QStringLiteral("BodyText");
        QTest::newRow("compose subject") << QStringLiteral("WriteForm") << QStringLiteral("SubjectText");
        QTest::newRow("reply body") << QStringLiteral("BackForm") << QStringLiteral("BodyText");
    }
    void droppedFilesAreAttached()
    {
        QFETCH(QString, window);
        QFETCH(QString, target);
        QTemporaryDir files;
        writeFile(files.filePath("a.txt"), "A");
        writeFile(files.filePath("札所 b.txt"), "B");
        QWidget *w = Windows::get(window);
        w->show();
        QWidget *on = child<QWidget>(w, target.toLatin1().constData());
        if (auto *area = qobject_cast<QAbstractScrollArea *>(on))
            on = area->viewport();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(files.filePath("a.txt")), QUrl::fromLocalFile(files.filePath("札所 b.txt"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(on, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(on, &drop);
        QCOMPARE(child<QLineEdit>(w, "AttachText")->text(), files.filePath("a.txt") + u',' + files.filePath("札所 b.txt"));
        QCOMPARE(child<QListWidget>(w, "List2")->count(), 2);
        QCOMPARE(child<QWidget>(w, "BodyText")->property("plainText").toString(), QString());
        QCOMPARE(child<QLineEdit>(w, "SubjectText")->text(), QString());
    }

    void replyLayout()
    {
        const compose::ReplyLayout l = compose::layoutReplyWindow(10000, 6000, 900);
        QCOMPARE(l.bodyWidth, 9900);
        QCOMPARE(l.toWidth, 7000);
        QCOMPARE(l.subjectWidth, 7000);
        QCOMPARE(l.attachWidth, 4000);
        QCOMPARE(l.attachFileLeft, 5240);
        QCOMPARE(l.addAttachmentLeft, 6060);
        QCOMPARE(l.cancelAttachmentsLeft, 6940);
        QCOMPARE(l.bodyHeight, 4500 - 900);
        QCOMPARE(compose::layoutReplyWindow(10000, 3500, 900).bodyHeight, 0);

        auto *reply = Windows::get<compose::BackForm>(QStringLiteral("BackForm"));
        reply->show();
        reply->resize(twips(10000), twips(6000));
        auto *body = child<QTextEdit>(reply, "BodyText");
        // Within a pixel: the window's size in twips is only as fine as its pixels.
        auto near = [](int pixels, int twipsWanted) { return std::abs(pixels - twips(twipsWanted)) <= 1; };
        QVERIFY(near(body->width(), 9900));
        QVERIFY(near(body->height(), 3600));
        QVERIFY(near(child<QLineEdit>(reply, "ToText")->width(), 7000));
        QVERIFY(near(child<QLineEdit>(reply, "AttachText")->width(), 4000));
        QVERIFY(near(child<QPushButton>(reply, "AttachCommand")->x(), 5240));
        QVERIFY(near(child<QPushButton>(reply, "Command10")->x(), 6940));
        const int bodyHeight = body->height();
        // A low window keeps the body's height.
        reply->resize(twips(10000), twips(3000));
        QCOMPARE(body->height(), bodyHeight);
    }

    void pasteIntoReplyBody_data()
    {
        QTest::addColumn<int>("historyKind");
        QTest::addColumn<QString>("shown");
        // A received mail comes from the record the history window selected.
        QTest::newRow("received") << 1 << QStringLiteral("Hi, as edited in the viewer");
        // A sent mail is what the history window put into the body.
        QTest::newRow("sent") << 2 << QStringLiteral("Hi");
    }

    void pasteIntoReplyBody()
    {
        QFETCH(int, historyKind);
        QFETCH(QString, shown);
        mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("Hello"), QString(),
                               QStringLiteral("you@example.jp"), QStringLiteral(" Hi "));
        auto *reply = Windows::get<compose::BackForm>(QStringLiteral("BackForm"));
        auto *body = child<QTextEdit>(reply, "BodyText");
        // Filled by the history window, then shown.
        reply->setProperty("historyKind", historyKind);
        body->setPlainText(shown);
        reply->show();
        QVERIFY(QTest::qWaitForWindowActive(reply));
        body->setFocus();
        QTRY_VERIFY(body->hasFocus());
        body->moveCursor(QTextCursor::End);
        QTest::keyClicks(body, " typed");
        QCOMPARE(body->toPlainText(), shown + QStringLiteral(" typed"));

        QApplication::clipboard()->setText(QStringLiteral("  Thanks"));
        clickButton(reply, "Command4");
        QCOMPARE(body->toPlainText(), QStringLiteral("Thanks\n\n\n\nHi"));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("  Thanks\r\n\r\n\r\n\rHi"));
    }

    void refusedReplyKeepsTheWindow()
    {
        settings::serverSettings().smtpServer = QStringLiteral("127.0.0.1:%1").arg(MailServers::unusedPort());
        QPointer<compose::BackForm> reply = Windows::get<compose::BackForm>(QStringLiteral("BackForm"));
        child<QLineEdit>(reply, "SubjectText")->setText(QStringLiteral("Re:  Hello"));
        child<QLineEdit>(reply, "ToText")->setText(QStringLiteral("you@example.jp"));
        child<QTextEdit>(reply, "BodyText")->setPlainText(QStringLiteral("answer"));
        reply->show();
        clickButton(reply, "Command2");
        QCOMPARE(dialogs_->shown.size(), 1);
        QCOMPARE(dialogs_->last().title, QStringLiteral("送信エラー"));
        QApplication::processEvents();
        QVERIFY(reply && reply->isVisible());
        QCOMPARE(child<QTextEdit>(reply, "BodyText")->toPlainText(), QStringLiteral("answer"));
        QCOMPARE(child<QLineEdit>(reply, "SubjectText")->text(), QStringLiteral("Re:  Hello"));
        QVERIFY(child<QPushButton>(reply, "Command2")->isEnabled());
        QCOMPARE(mail::mailRecordCount(mail::HistoryKind::Sent), 0);
        // "送信中止" closes it.
        clickButton(reply, "Command3");
        QTRY_VERIFY(reply.isNull());
    }

private:
    std::unique_ptr<TestProgramFolder> folder_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
};

QTEST_MAIN(TestCompose)
#include "test_compose.moc"
