// The history window offscreen, with scripted message boxes.
#include "history/historywindow.h"
#include "history/history_listmodel.h"
#include "history/history_quicksave.h"
#include "history/checknotes.h"
#include "history/mailhistory.h"
#include "history/tyakuform.h"

#include "common/cp932.h"
#include "common/paths.h"
#include "common/windows.h"
#include "scripteddialogs.h"
#include "testenv.h"
#include "texttools/editorpane.h"
#include "texttools/editorstate.h"
#include "texttools/kakudaiform.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QHeaderView>
#include <QTreeView>

using namespace korvane;
using namespace korvane::mail;
using korvane::test::readFile;
using korvane::test::ScriptedDialogs;
using korvane::test::TestProgramFolder;
using korvane::test::writeFile;

namespace {

const QString NoSelection = QStringLiteral("データが選択されていません");

// Stand-ins for the address book and the reply window, with the controls the
// history window fills.
QWidget *makeFakeWindow(const QString &name, const QStringList &lineBoxes, const QString &textBox = QString())
{
    auto *w = new QWidget;
    w->setObjectName(name);
    for (const QString &box : lineBoxes)
        (new QLineEdit(w))->setObjectName(box);
    if (!textBox.isEmpty())
        (new QTextEdit(w))->setObjectName(textBox);
    return w;
}

// A reply window holding a reply the user is writing.
class WritingReply : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE bool holdsUnsentText() const { return true; }
};

class HistoryFixture {
public:
    HistoryFixture()
    {
        texttools::resetEditorState();
        for (int i = 1; i <= 3; ++i)
            appendMailRecord(HistoryKind::Received, QStringLiteral("Subject%1").arg(i), QStringLiteral("Date%1").arg(i),
                             QStringLiteral("from%1@example.jp").arg(i), QStringLiteral("Body %1\r\nline 2").arg(i));
    }
    ~HistoryFixture()
    {
        // A delete still being written belongs to this test: it ends (and
        // tells its outcome) while this test's folder and answers still stand.
        waitForHistoryWrites();
        QCoreApplication::processEvents();
        Windows::unloadAll();
    }

    TestProgramFolder folder;
    ScriptedDialogs dialogs;
};

TyakuForm *open(HistoryKind kind)
{
    openHistoryWindow(kind);
    auto *form = qobject_cast<TyakuForm *>(Windows::loaded(QStringLiteral("TyakuForm")));
    if (form)
        (void)QTest::qWaitForWindowExposed(form);
    return form;
}

template <class T> T *child(QWidget *form, const char *name)
{
    return form->findChild<T *>(QString::fromLatin1(name));
}

QString text(QWidget *form, const char *name)
{
    if (auto *e = child<QLineEdit>(form, name))
        return e->text();
    if (auto *t = child<QTextEdit>(form, name))
        return t->toPlainText();
    return QString();
}

void clickRow(TyakuForm *form, int row)
{
    QTreeView *list = form->mailList();
    QRect r = list->visualRect(form->mailListModel()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

void press(QWidget *form, const char *button)
{
    auto *b = child<QPushButton>(form, button);
    QVERIFY(b);
    b->click();
}

QStringList column(TyakuForm *form, int col)
{
    QStringList out;
    MailListModel *m = form->mailListModel();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, col).data().toString();
    return out;
}

}  // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT

private slots:
    void opensOnTheReceivedHistory()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        QVERIFY(form && form->isVisible());
        QCOMPARE(form->windowTitle(), QStringLiteral("着信履歴"));
        QCOMPARE(column(form, 0), QStringList({"Subject1", "Subject2", "Subject3"}));
        QCOMPARE(column(form, 1), QStringList({"from1@example.jp", "from2@example.jp", "from3@example.jp"}));
        QCOMPARE(column(form, 2), QStringList({"Date1", "Date2", "Date3"}));
        QCOMPARE(form->mailListModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("From"));
        QCOMPARE(text(form, "Text2"), QStringLiteral("3"));
        // The viewer and the clipboard end on the last record.
        QCOMPARE(text(form, "Text7"), QStringLiteral("Subject3"));
        QCOMPARE(text(form, "Text8"), QStringLiteral("from3@example.jp"));
        QCOMPARE(text(form, "Text9"), QStringLiteral("Date3"));
        QCOMPARE(text(form, "rtfEd"), QStringLiteral("Body 3\nline 2"));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Body 3\nline 2"));
        QCOMPARE(text(form, "Text5"), QString());
        QCOMPARE(form->mailList()->palette().color(QPalette::Base), QColor(210, 250, 250));
        // What the user copied outlives opening a history; a mail chosen
        // in the list replaces it.
        QApplication::clipboard()->setText(QStringLiteral("the user's words"));
        open(HistoryKind::Received);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("the user's words"));
        clickRow(form, 0);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Body 1\nline 2"));
    }

    void theSentHistoryListsRecipients()
    {
        HistoryFixture f;
        appendMailRecord(HistoryKind::Sent, "To a friend", "2024/05/01  10:00:00", "friend@example.jp", "hello");
        TyakuForm *form = open(HistoryKind::Sent);
        QCOMPARE(form->windowTitle(), QStringLiteral("送信履歴"));
        QCOMPARE(form->property("historyKind").toInt(), 2);
        QCOMPARE(column(form, 1), QStringList({"friend@example.jp"}));
        QCOMPARE(form->mailList()->palette().color(QPalette::Base), QColor(250, 250, 255));
        // Opening again reloads the window on the other history.
        QCOMPARE(open(HistoryKind::Received), form);
        QCOMPARE(form->mailListModel()->rowCount(), 3);
    }

    void clickShowsTheRecordAndDeleteRemovesIt()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        clickRow(form, 1);
        QCOMPARE(text(form, "Text5"), QStringLiteral("1"));
        QCOMPARE(text(form, "Text7"), QStringLiteral("Subject2"));
        QCOMPARE(text(form, "rtfEd"), QStringLiteral("Body 2\nline 2"));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Body 2\nline 2"));
        QCOMPARE(lastMailRecord(HistoryKind::Received)->subject, QStringLiteral("Subject2"));

        f.dialogs.questionAnswers.enqueue(true);
        press(form, "Command3");
        QCOMPARE(f.dialogs.last().text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
        QCOMPARE(f.dialogs.last().title, QStringLiteral("確認"));
        QCOMPARE(column(form, 0), QStringList({"Subject1", "Subject3"}));
        QCOMPARE(text(form, "Text2"), QStringLiteral("2"));
        QCOMPARE(mailRecordCount(HistoryKind::Received), 2);
        QCOMPARE(readMailRecord(HistoryKind::Received, 2)->subject, QStringLiteral("Subject3"));

        f.dialogs.clear();
        press(form, "Command3");
        QCOMPARE(f.dialogs.texts(), QStringList{NoSelection});
        QCOMPARE(mailRecordCount(HistoryKind::Received), 2);
    }

    // Mails picked together go in one delete, their kept originals with them;
    // the question says so.
    void severalSelectedMailsGoInOneDelete()
    {
        HistoryFixture f;
        writeFile(f.folder.file(QStringLiteral("受信原本/x.eml")), "mail");
        appendMailRecord(HistoryKind::Received, "Subject4", "Date4", "a@b.jp", "Body 4", nullptr,
                         RecordFile::Durability::OnDisk, "x.eml");
        TyakuForm *form = open(HistoryKind::Received);
        clickRow(form, 0);
        QTest::mouseClick(form->mailList()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          form->mailList()->visualRect(form->mailListModel()->index(3, 0)).center());
        f.dialogs.questionAnswers.enqueue(true);
        press(form, "Command3");
        QCOMPARE(f.dialogs.texts().size(), 1);
        QVERIFY(f.dialogs.last().text.startsWith(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか\n\n受信原本")));
        QCOMPARE(column(form, 0), QStringList({"Subject2", "Subject3"}));
        QCOMPARE(text(form, "Text2"), QStringLiteral("2"));
        QCOMPARE(text(form, "Text7"), QStringLiteral("Subject3"));
        waitForHistoryWrites();
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).size(), 2 * MailRecordLength);
        QVERIFY(!QFileInfo::exists(f.folder.file(QStringLiteral("受信原本/x.eml"))));
    }

    void deleteAnsweredNoKeepsTheMail()
    {
        HistoryFixture f;
        appendMailRecord(HistoryKind::Sent, "s", "d", "to@x.jp", "b");
        TyakuForm *form = open(HistoryKind::Sent);
        clickRow(form, 0);
        press(form, "Command3");  // No
        QCOMPARE(f.dialogs.last().text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか?"));
        QCOMPARE(mailRecordCount(HistoryKind::Sent), 1);
        QCOMPARE(text(form, "rtfEd"), QString());
        QCOMPARE(text(form, "Text5"), QString());
    }

    void mailButtonsWantASelection_data()
    {
        QTest::addColumn<QString>("button");
        for (const char *b : {"Command2", "Command3", "Command4", "Command5"})
            QTest::newRow(b) << QString::fromLatin1(b);
    }
    void mailButtonsWantASelection()
    {
        QFETCH(QString, button);
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        form->findChild<QPushButton *>(button)->click();
        QCOMPARE(f.dialogs.texts(), QStringList{NoSelection});
        QCOMPARE(mailRecordCount(HistoryKind::Received), 3);
    }

    void clickOnAnEmptyList()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Sent);
        QCOMPARE(text(form, "Text2"), QStringLiteral("0"));
        QTest::mouseClick(form->mailList()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(f.dialogs.texts(), QStringList{QStringLiteral("選択するデータがありません。")});
        QCOMPARE(text(form, "Text5"), QString());
    }

    void quickSaveWritesFourLinesAndAsksBeforeOverwriting()
    {
        HistoryFixture f;
        appendMailRecord(HistoryKind::Received, "abc", "2024/05/01", "先生 <t@example.jp>", "本文です\r\n二行目");
        TyakuForm *form = open(HistoryKind::Received);
        QVERIFY(!QFileInfo::exists(f.folder.file(QStringLiteral("■TextQuickSave"))));
        clickRow(form, 3);
        press(form, "Command2");
        const QString path = f.folder.file(QStringLiteral("■TextQuickSave/abc.txt"));
        const QByteArray expected = cp932::encode(QStringLiteral("Subject:  abc\r\nFrom:  先生 <t@example.jp>\r\n"
                                                                 "Date:  2024/05/01\r\nBody:  本文です\r\n二行目\r\n"));
        QCOMPARE(readFile(path), expected);
        const auto othersMay = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                             | QFileDevice::WriteOther;
        QCOMPARE(QFile::permissions(path) & othersMay, QFileDevice::Permissions());
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(text(form, "rtfEd"), QStringLiteral("Subject:  abc\nFrom:  先生 <t@example.jp>\nDate:  2024/05/01\n"
                                                     "Body:  本文です\n二行目"));
        QCOMPARE(text(form, "Text5"), QString());

        // Again: asked first; No leaves the file alone, Yes replaces it.
        clickRow(form, 0);
        clickRow(form, 3);
        writeFile(path, "kept");
        press(form, "Command2");
        QCOMPARE(f.dialogs.last().text, QStringLiteral("同名のファイルが既に存在します。上書きしますか？ "));
        QCOMPARE(f.dialogs.last().title, QStringLiteral("確認"));
        QCOMPARE(readFile(path), QByteArray("kept"));
        clickRow(form, 0);
        clickRow(form, 3);
        f.dialogs.questionAnswers.enqueue(true);
        press(form, "Command2");
        QCOMPARE(readFile(path), expected);
    }

    void quickSaveNamesStayInsideTheFolder_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("abc") << QStringLiteral("abc.txt");
        QTest::newRow("slashes") << QStringLiteral("../../etc/passwd") << QStringLiteral("..／..／etc／passwd.txt");
        QTest::newRow("colon and backslash") << QStringLiteral("a:b\\c") << QStringLiteral("a：b＼c.txt");
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << QStringLiteral("a_b.txt");
        QTest::newRow("empty") << QString() << QStringLiteral("無題.txt");
        QTest::newRow("only dots") << QStringLiteral("..") << QStringLiteral("無題.txt");
        QTest::newRow("device name") << QStringLiteral("con") << QStringLiteral("con_.txt");
    }
    void quickSaveNamesStayInsideTheFolder()
    {
        QFETCH(QString, subject);
        QFETCH(QString, name);
        TestProgramFolder folder;
        QCOMPARE(quickSaveFileName(subject), name);
        const QString path = quickSavePath(subject);
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(folder.file(QStringLiteral("■TextQuickSave/x"))).absolutePath());
        QVERIFY(QFileInfo(path).absoluteDir().exists());
        // A very long subject still gives a name the file system takes.
        QVERIFY(quickSaveFileName(QString(300, u'あ')).toUtf8().size() <= 255);
    }

    void deleteAll()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        press(form, "Command6");  // No
        QCOMPARE(f.dialogs.last().text, QStringLiteral("すべてのデータを削除して良いですか？"));
        QCOMPARE(mailRecordCount(HistoryKind::Received), 3);
        f.dialogs.questionAnswers.enqueue(true);
        press(form, "Command6");
        QCOMPARE(form->mailListModel()->rowCount(), 0);
        QCOMPARE(text(form, "Text2"), QStringLiteral("0"));
        QCOMPARE(text(form, "rtfEd"), QString());
        waitForHistoryWrites();
        QVERIFY(QFileInfo::exists(historyPath(HistoryKind::Received)));
        QCOMPARE(QFileInfo(historyPath(HistoryKind::Received)).size(), 0);
    }

    void missingWindowsAreLeftAlone()
    {
        // Runs before any test registers stand-ins for those windows.
        QVERIFY(!Windows::isRegistered(QStringLiteral("BackForm")));
        QVERIFY(!Windows::isRegistered(QStringLiteral("FriendForm")));
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        for (const char *b : {"Command4", "Command5"}) {
            clickRow(form, 0);
            press(form, b);
        }
        QVERIFY(f.dialogs.shown.isEmpty());
        QVERIFY(!Windows::loaded(QStringLiteral("BackForm")));
    }

    void replyAndAddressBookFillTheirWindows()
    {
        HistoryFixture f;
        appendMailRecord(HistoryKind::Received, "  Hello ", "d", "someone@example.jp", "  Hi there  ");
        Windows::registerFactory(QStringLiteral("BackForm"), [] {
            return makeFakeWindow(QStringLiteral("BackForm"), {"SubjectText", "ToText"}, QStringLiteral("BodyText"));
        });
        Windows::registerFactory(QStringLiteral("FriendForm"),
                                 [] { return makeFakeWindow(QStringLiteral("FriendForm"), {"Text4"}); });
        TyakuForm *form = open(HistoryKind::Received);
        clickRow(form, 3);
        press(form, "Command5");
        QWidget *back = Windows::loaded(QStringLiteral("BackForm"));
        QVERIFY(back && back->isVisible());
        QCOMPARE(text(back, "SubjectText"), QStringLiteral("Re:  Hello"));
        QCOMPARE(text(back, "ToText"), QStringLiteral("someone@example.jp"));
        QCOMPARE(text(back, "BodyText"), QStringLiteral("Hi there"));
        QCOMPARE(back->property("historyKind").toInt(), 1);
        QCOMPARE(lastMailRecord(HistoryKind::Received)->body, QStringLiteral("Hi there"));
        QCOMPARE(text(form, "Text5"), QString());

        clickRow(form, 3);
        press(form, "Command4");
        QWidget *friends = Windows::loaded(QStringLiteral("FriendForm"));
        QVERIFY(friends && friends->isVisible());
        QCOMPARE(text(friends, "Text4"), QStringLiteral("someone@example.jp"));
        QVERIFY(f.dialogs.shown.isEmpty());

        // A reply being written is replaced only when the user says so, and
        // Enter keeps it.
        Windows::unloadAll();
        Windows::registerFactory(QStringLiteral("BackForm"), [] {
            auto *w = new WritingReply;
            w->setObjectName(QStringLiteral("BackForm"));
            (new QLineEdit(w))->setObjectName(QStringLiteral("SubjectText"));
            (new QLineEdit(w))->setObjectName(QStringLiteral("ToText"));
            (new QTextEdit(w))->setObjectName(QStringLiteral("BodyText"));
            return w;
        });
        back = Windows::get(QStringLiteral("BackForm"));
        back->findChild<QTextEdit *>(QStringLiteral("BodyText"))->setPlainText(QStringLiteral("half written"));
        form = open(HistoryKind::Received);
        for (const bool replace : {false, true}) {
            f.dialogs.questionAnswers << replace;
            clickRow(form, 3);
            press(form, "Command5");
            QVERIFY(!f.dialogs.last().defaultYes);
            QCOMPARE(text(back, "BodyText"), replace ? QStringLiteral("Hi there") : QStringLiteral("half written"));
        }
    }

    void theMailCheckFillsTheViewerOfAHiddenWindow()
    {
        HistoryFixture f;
        Windows::registerFactory(QStringLiteral("TyakuForm"), [] { return new TyakuForm; });
        auto *subject = Windows::control<QLineEdit>(QStringLiteral("TyakuForm"), QStringLiteral("Text7"));
        auto *body = Windows::control<QTextEdit>(QStringLiteral("TyakuForm"), QStringLiteral("rtfEd"));
        QVERIFY(subject && body);
        subject->setText(QStringLiteral("新着"));
        body->setPlainText(QStringLiteral("本文"));
        QWidget *form = Windows::loaded(QStringLiteral("TyakuForm"));
        QVERIFY(!form->isVisible());
        QCOMPARE(text(form, "Text7"), QStringLiteral("新着"));
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void aMailCheckOverTheSentHistoryShowsTheReceivedOne()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Sent);
        QCOMPARE(form->windowTitle(), QStringLiteral("送信履歴"));
        // The check writes the mail into the viewer boxes, then stores it.
        for (const auto &[box, value] : {std::pair{"Text7", "新着の件名"}, std::pair{"Text8", "a@example.jp"},
                                         std::pair{"Text9", "Mon, 08 Dec 2025 10:00:00 +0900"}})
            child<QLineEdit>(form, box)->setText(QString::fromUtf8(value));
        appendMailRecord(HistoryKind::Received, QStringLiteral("新着の件名"), QStringLiteral("Mon, 08 Dec 2025"),
                         QStringLiteral("a@example.jp"), QStringLiteral("本文"));
        QTRY_COMPARE(form->windowTitle(), QStringLiteral("着信履歴"));
        QCOMPARE(form->historyKind(), HistoryKind::Received);
        QCOMPARE(form->mailListModel()->rowCount(), 4);
        QCOMPARE(text(form, "Text2"), QStringLiteral("4"));
        QCOMPARE(text(form, "Text7"), QStringLiteral("新着の件名"));  // the viewer keeps the new mail
        QCOMPARE(child<QLineEdit>(form, "Text9")->toolTip(), QStringLiteral("Mon, 08 Dec 2025 10:00:00 +0900"));

        // The window's own filling of the viewer changes nothing of that.
        open(HistoryKind::Sent);
        clickRow(form, 0);
        QTest::qWait(20);
        QCOMPARE(form->windowTitle(), QStringLiteral("送信履歴"));
    }

    void searchRestartsWhenTheWindowOpensAgain()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        texttools::EditorPane *pane = form->editorPane();
        pane->setText(QStringLiteral("ab ab ab"));
        pane->searchBox()->setText(QStringLiteral("ab"));
        pane->findFirst();
        pane->findNext();
        QCOMPARE(pane->lastFoundPosition(), 4);
        form->close();
        form = open(HistoryKind::Received);
        QCOMPARE(pane->lastFoundPosition(), 0);
        pane->setText(QStringLiteral("ab ab ab"));
        pane->findNext();
        QCOMPARE(pane->lastFoundPosition(), 4);  // from the start again, past the first hit's length
    }

    void columnsFollowTheWindowAndCellsShowTheirWholeText()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        QTreeView *list = form->mailList();
        auto inner = [list] { return list->width() - 2 * list->frameWidth(); };
        form->resize(900, 600);
        QTRY_COMPARE(form->width(), 900);
        QVERIFY(std::abs(list->columnWidth(0) - inner() / 2) <= 2);
        const int before = list->columnWidth(1);
        form->resize(1300, 700);
        QTRY_COMPARE(form->width(), 1300);
        QVERIFY(std::abs(list->columnWidth(0) - inner() / 2) <= 2);
        QVERIFY(list->columnWidth(1) > before);
        // A column the user widened keeps its new share.
        list->header()->resizeSection(0, inner() * 3 / 5);
        form->resize(1000, 700);
        QTRY_COMPARE(form->width(), 1000);
        QVERIFY(std::abs(list->columnWidth(0) - inner() * 3 / 5) <= 2);

        const QModelIndex cell = form->mailListModel()->index(0, MailListModel::FromColumn);
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), cell.data().toString());
    }

    void helpTextsFollowTheMouse()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        auto *help = child<QPlainTextEdit>(form, "Text4");
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(child<QPushButton>(form, "Command3"), &enter);
        QVERIFY(help->isVisible());
        QCOMPARE(help->toPlainText(),
                 QStringLiteral("受信したメールを１件ずつ削除します。リストでメールを選択（クリック）してから実行して下さい。"));
        QApplication::sendEvent(child<QPushButton>(form, "Command1"), &enter);
        QVERIFY(help->toPlainText().endsWith(QStringLiteral("\n\nコピーされる内容は右の欄に反映されます。")));
        QApplication::sendEvent(form->mailList(), &enter);
        QVERIFY(!help->isVisible());
        QCOMPARE(help->toPlainText(), QString());

        // Pointing at a header box puts its text in the copy box; Command1 copies it.
        QApplication::sendEvent(child<QLineEdit>(form, "Text8"), &enter);
        QCOMPARE(text(form, "Text6"), QStringLiteral("from3@example.jp"));
        press(form, "Command1");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("from3@example.jp"));
    }

    void theLoadErrorBoxCanBeLeft()
    {
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        texttools::resetEditorState();
        texttools::editorState().currentFilePath = folder.path() + QStringLiteral("/missing/新規作成.TXT");
        for (bool retry : {true, true, false})  // retry twice, then go on
            dialogs.questionAnswers.enqueue(retry);
        TyakuForm form;
        QCOMPARE(dialogs.shown.size(), 3);
        QCOMPARE(dialogs.last().title, QStringLiteral("Korvane（ハルモ）  Form_LoadError"));
        QCOMPARE(form.editorPane()->text(), QString());
        texttools::resetEditorState();
    }

    void resizeRules()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        form->resize(900, 600);
        QTRY_COMPARE(form->size(), QSize(900, 600));
        // The rules work on the outer size of the window.
        const int w = form->frameGeometry().width() * 15, h = form->frameGeometry().height() * 15;
        QCOMPARE(form->mailList()->width(), int(0.99 * w) / 15);
        QCOMPARE(form->mailList()->height(), int(0.25 * h) / 15);
        QCOMPARE(child<QLineEdit>(form, "Text7")->y(), (int(0.25 * h) + 940) / 15);
        // Subject, sender and date side by side over the window's width; the
        // date box holds a whole date, the subject keeps at least 4 tenths.
        auto *subject = child<QLineEdit>(form, "Text7");
        auto *sender = child<QLineEdit>(form, "Text8");
        auto *date = child<QLineEdit>(form, "Text9");
        QVERIFY(subject->width() >= int(0.4 * w) / 15 && subject->width() <= int(0.5 * w) / 15);
        QCOMPARE(sender->x(), subject->geometry().right() + 1);
        QVERIFY(date->x() <= sender->geometry().right() + 1);
        QVERIFY(std::abs(subject->width() + sender->width() + date->width() - w / 15) <= 3);
        const QString longest = QStringLiteral("Wed, 30 Sep 2025 23:59:59 +0900");
        QVERIFY(date->width() > QFontMetrics(date->font()).horizontalAdvance(longest) + 4);
        QCOMPARE(child<QTextEdit>(form, "rtfEd")->y(), (int(0.25 * h) + 1300) / 15);
        QCOMPARE(child<QTextEdit>(form, "rtfEd")->width(), int(0.99 * w) / 15);
        auto *status = child<QWidget>(form, "StatusBar1");
        QCOMPARE(child<QPushButton>(form, "Command1")->y(), (status->y() * 15 + 80) / 15);
        QVERIFY(child<QTextEdit>(form, "rtfEd")->geometry().bottom() < status->y());
    }

    void enlargedViewShowsTheMail()
    {
        HistoryFixture f;
        TyakuForm *form = open(HistoryKind::Received);
        press(form, "Command29");
        auto *view = Windows::loaded<texttools::KakudaiForm>(QStringLiteral("KakudaiForm"));
        QVERIFY(view && view->isVisible());
        QCOMPARE(text(view, "Text24"), QStringLiteral("Subject3"));
        QCOMPARE(text(view, "Text25"), QStringLiteral("from3@example.jp"));
        QCOMPARE(text(view, "Text46"), QStringLiteral("Date3"));
        QCOMPARE(view->findChild<QPlainTextEdit *>(QStringLiteral("Text15"))->toPlainText(),
                 QStringLiteral("Body 3\nline 2"));
    }

    // The viewer, the clipboard and the enlarged view show the kept
    // original's text, which the record's code page cannot hold; the record
    // stays as it was, and one without an original shows its body.
    // The viewer shows the kept original as it was written, with the notes
    // of the record that still hold for it (the saved files); the note that
    // the record holds only part of the body does not.
    void theViewerShowsTheKeptOriginal()
    {
        HistoryFixture f;
        const QString mail = QStringLiteral("絵文字😀 Ünïcödé 한국어");
        writeFile(f.folder.file(QStringLiteral("受信原本/20240101-k.eml")),
                  "Subject: k\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + mail.toUtf8() + "\r\n");
        const QString saved = checktext::AttachmentNotice + QStringLiteral("\r\n（a.txt）");
        const QString recordBody = QStringLiteral("絵文字〓 Unicode 〓\r\n\r\n〓〓 この本文は履歴に全部は入りませんでした（x）。\r\n") + saved;
        QCOMPARE(appendMailRecord(HistoryKind::Received, "k", "d", "k@example.jp", recordBody, nullptr,
                                  RecordFile::Durability::OnDisk, QStringLiteral("20240101-k.eml")),
                 4);
        TyakuForm *form = open(HistoryKind::Received);
        const QString shown = mail + QStringLiteral("\n\n") + QString(saved).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(text(form, "rtfEd"), shown);
        QCOMPARE(QApplication::clipboard()->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")), shown);
        press(form, "Command29");
        auto *view = Windows::loaded<texttools::KakudaiForm>(QStringLiteral("KakudaiForm"));
        QVERIFY(view);
        QCOMPARE(view->findChild<QPlainTextEdit *>(QStringLiteral("Text15"))->toPlainText(), shown);
        QCOMPARE(readMailRecord(HistoryKind::Received, 4)->body, recordBody);
        clickRow(form, 0);
        QCOMPARE(text(form, "rtfEd"), QStringLiteral("Body 1\nline 2"));
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "test_history_window.moc"
