// The address book window: register, select, delete, name card, hints.
#include "addressbook/addressbook.h"
#include "addressbook/friendform.h"
#include "addressbook/register.h"
#include "common/windows.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QStyledItemDelegate>
#include <QTreeWidget>

using namespace korvane;
using namespace korvane::addressbook;
using namespace korvane::test;

namespace {

QWidget *openBook()
{
    QWidget *w = Windows::show("FriendForm");
    if (!w || !QTest::qWaitForWindowExposed(w))
        qFatal("FriendForm did not open");
    return w;
}

void click(QWidget *w, const char *button)
{
    QTest::mouseClick(child<QPushButton>(w, button), Qt::LeftButton);
}

void pressRow(QWidget *w, int row)
{
    auto *list = child<QTreeWidget>(w, "MailListView");
    QRect r = list->visualItemRect(list->topLevelItem(row - 1));
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, r.center());
}

QString text(QWidget *w, const char *box)
{
    return child<QLineEdit>(w, box)->text();
}

void setText(QWidget *w, const char *box, const QString &t)
{
    child<QLineEdit>(w, box)->setText(t);
}

QString status(QWidget *w)
{
    return child<QLabel>(w, "Label7")->text();
}

QStringList rowAddresses(QWidget *w)
{
    auto *list = child<QTreeWidget>(w, "MailListView");
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0).trimmed();
    return out;
}

void fillThree(QWidget *w)
{
    for (const char *n : {"one", "two", "three"}) {
        setText(w, "Text2", QString::fromLatin1(n));
        setText(w, "Text4", QString::fromLatin1(n) + "@example.jp");
        click(w, "Command3");
    }
}

}  // namespace

class TestFriendForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerWindows(); }
    void cleanup() { Windows::unloadAll(); }

    void registerAndSelectTrimmed()
    {
        TestProgramFolder folder;
        QWidget *w = openBook();
        QCOMPARE(w->windowTitle(), QStringLiteral("アドレス帳"));
        auto *list = child<QTreeWidget>(w, "MailListView");
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Name"));
        QCOMPARE(text(w, "Text3"), QStringLiteral("0"));
        QVERIFY(child<QLineEdit>(w, "Text3")->isReadOnly());
        QVERIFY(QFileInfo::exists(folder.file("★MAilData/Plxdata20.data")));

        setText(w, "Text2", QStringLiteral("  山田　花子 "));
        setText(w, "Text4", "  hanako@example.jp ");
        click(w, "Command3");
        QCOMPARE(status(w), QStringLiteral("　登録が完了しました。"));
        QCOMPARE(text(w, "Text3"), QStringLiteral("1"));
        // Stored exactly as typed, record 1 at offset 0.
        QCOMPARE(readFile(folder.file("★MAilData/Plxdata20.data")),
                 encodeRecord({QStringLiteral("  山田　花子 "), "  hanako@example.jp ", 1}));
        QVERIFY(list->topLevelItem(0)->text(0).startsWith("  hanako@example.jp "));
        QVERIFY(list->topLevelItem(0)->text(1).startsWith(QStringLiteral("  山田　花子 ")));
        // Drawn without the blanks that fill the field, cut with "…" only
        // where the column is too narrow.
        QCOMPARE(list->textElideMode(), Qt::ElideRight);
        QCOMPARE(static_cast<QStyledItemDelegate *>(list->itemDelegate())
                     ->displayText(list->topLevelItem(0)->text(0), QLocale()),
                 QStringLiteral("hanako@example.jp"));

        setText(w, "Text2", "");
        setText(w, "Text4", "");
        pressRow(w, 1);
        QCOMPARE(text(w, "Text2"), QStringLiteral("山田　花子"));
        QCOMPARE(text(w, "Text4"), QStringLiteral("hanako@example.jp"));
        QCOMPARE(status(w), QStringLiteral("　選択しました。"));
    }

    // The address field holds 90 bytes: a long name card keeps its whole
    // address and loses letters of its name; an address longer than the
    // field is refused instead of being cut.
    void longAddressesAreNeverCut()
    {
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        QWidget *w = openBook();
        const QString address = QStringLiteral("pilgrim.of.the.eighty.eight.temples@shikoku.example.co.jp");  // 57 bytes
        setText(w, "Text2", QStringLiteral("遍路"));
        setText(w, "Text4", address);
        setText(w, "Text50", QStringLiteral("四国八十八箇所霊場会　事務局長　お遍路太郎"));  // 42 bytes
        click(w, "Command38");
        click(w, "Command3");
        QCOMPARE(status(w), QStringLiteral("　登録が完了しました。"));
        const QString stored = readRecord(1)->address.trimmed();
        QVERIFY2(stored.endsWith(QStringLiteral(" <") + address + u'>'), qPrintable(stored));
        QVERIFY(stored.startsWith(QStringLiteral("四国八十八箇所霊場会")));
        QCOMPARE(text(w, "Text4"), stored);
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.last().text.contains(stored));

        // 91 bytes of address: nothing is stored, the user is told why.
        dialogs.clear();
        const QString tooLong = QString(80, u'a') + QStringLiteral("@example.jp");
        setText(w, "Text4", tooLong);
        click(w, "Command3");
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.last().text.contains(QStringLiteral("「") + tooLong + QStringLiteral("」")));
        QCOMPARE(count(), 1);
        QCOMPARE(text(w, "Text3"), QStringLiteral("1"));
    }

    void deleteSecondOfThree()
    {
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        QWidget *w = openBook();
        fillThree(w);
        pressRow(w, 2);
        dialogs.questionAnswers.enqueue(true);
        click(w, "Command4");
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.last().kind, Dialogs::Kind::Question);
        QCOMPARE(dialogs.last().title, QStringLiteral("確認"));
        QCOMPARE(dialogs.last().text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
        QCOMPARE(rowAddresses(w), QStringList({"one@example.jp", "three@example.jp"}));
        QCOMPARE(text(w, "Text3"), QStringLiteral("2"));
        QCOMPARE(status(w), QStringLiteral("削除が完了しました"));
        QCOMPARE(count(), 2);
        QCOMPARE(readRecord(2)->name.trimmed(), QStringLiteral("three"));
        QVERIFY(!QFileInfo::exists(folder.file("★MAilData/PLXDATA20.TMP")));
    }

    void answeringNoKeepsAll()
    {
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        QWidget *w = openBook();
        fillThree(w);
        const QByteArray before = readFile(folder.file("★MAilData/Plxdata20.data"));
        pressRow(w, 3);
        dialogs.questionAnswers.enqueue(false);
        click(w, "Command4");
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(readFile(folder.file("★MAilData/Plxdata20.data")), before);
        QCOMPARE(rowAddresses(w).size(), 3);
        QCOMPARE(status(w), QStringLiteral(" "));
        QCOMPARE(text(w, "Text4"), QStringLiteral("three@example.jp"));
    }

    void deleteWithoutSelection_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty address box") << QString();
        QTest::newRow("typed address, no row selected") << "typed@example.jp";
    }
    void deleteWithoutSelection()
    {
        QFETCH(QString, address);
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        QWidget *w = openBook();
        fillThree(w);
        child<QTreeWidget>(w, "MailListView")->clearSelection();
        setText(w, "Text4", address);
        click(w, "Command4");
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("データが選択されていません")});
        QCOMPARE(count(), 3);
    }

    void nameCard_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("result");
        QTest::newRow("inserted") << " hanako@example.jp  " << QStringLiteral("四国花子") << QString()
                                  << QStringLiteral("四国花子<hanako@example.jp>");
        QTest::newRow("no address") << "" << "X" << QStringLiteral("メールアドレスが入力されていません") << "";
        QTest::newRow("no card") << "a@x" << "" << QStringLiteral("名詞が入力されていません") << "a@x";
    }
    void nameCard()
    {
        QFETCH(QString, address);
        QFETCH(QString, card);
        QFETCH(QString, message);
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        QWidget *w = openBook();
        setText(w, "Text4", address);
        setText(w, "Text50", card);
        click(w, "Command38");
        QCOMPARE(dialogs.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QTEST(text(w, "Text4"), "result");
        QCOMPARE(count(), 0);  // the box only; "登録" stores it
    }

    void hints()
    {
        TestProgramFolder folder;
        QWidget *w = openBook();
        auto *hint = child<QPlainTextEdit>(w, "Text5");
        QVERIFY(!hint->isVisible());
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(child<QPushButton>(w, "Command4"), &enter);
        QVERIFY(hint->isVisible());
        QCOMPARE(hint->toPlainText(), QStringLiteral("不要になったメールアドレスを削除します。"));
        QCoreApplication::sendEvent(child<QPushButton>(w, "Command38"), &enter);
        const QStringList paragraphs = hint->toPlainText().split("\n\n");
        QCOMPARE(paragraphs.size(), 2);
        QVERIFY(paragraphs[0].contains("<"));
        QCOMPARE(paragraphs[1], QStringLiteral("必要なければ挿入する必要はありません。"));
        QVERIFY(FriendForm::hintFor("Command38").contains("\r\n\r\n"));

        QTest::mouseMove(w, QPoint(w->width() - 2, w->height() - 2));
        QTRY_VERIFY(!hint->isVisible());
    }

    void filledByNameBeforeShowing()
    {
        // The history window loads the book, writes the sender into Text4 and shows it.
        TestProgramFolder folder;
        auto *box = Windows::control<QLineEdit>("FriendForm", "Text4");
        QVERIFY(box);
        box->setText("sender@example.jp");
        QWidget *w = openBook();
        QCOMPARE(text(w, "Text4"), QStringLiteral("sender@example.jp"));
        QPointer<QWidget> guard(w);
        w->close();
        QVERIFY(!Windows::loaded("FriendForm"));  // unloaded: the next opening starts afresh
        QCOMPARE(text(openBook(), "Text4"), QString());
    }

    void registerFailureIsReported()
    {
        TestProgramFolder folder;
        ScriptedDialogs dialogs;
        QWidget *w = openBook();
        QFile::remove(folder.file("★MAilData/Plxdata20.data"));
        QVERIFY(QDir().mkpath(folder.file("★MAilData/Plxdata20.data")));  // a folder in its place
        setText(w, "Text4", "a@x");
        click(w, "Command3");
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.last().text.startsWith(QStringLiteral("登録できませんでした。")));
        QVERIFY(status(w) != QStringLiteral("　登録が完了しました。"));
    }
};

QTEST_MAIN(TestFriendForm)
#include "test_friendform.moc"
