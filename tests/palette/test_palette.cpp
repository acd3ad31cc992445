#include "palette/kaoform.h"
#include "palette/palettepages.h"
#include "palette/register.h"

#include "common/cp932.h"
#include "common/paths.h"
#include "common/ui.h"
#include "common/windows.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace korvane;
using namespace korvane::palette;
using namespace korvane::test;

namespace {

// Stands in for the compose window: only its body box matters here.
QWidget *makeComposeStandIn()
{
    auto *w = new QWidget;
    w->setObjectName(QStringLiteral("WriteForm"));
    auto *body = new QPlainTextEdit(w);
    body->setObjectName(QStringLiteral("BodyText"));
    return w;
}

QPlainTextEdit *composeBody()
{
    return Windows::control<QPlainTextEdit>(QStringLiteral("WriteForm"), QStringLiteral("BodyText"));
}

void select(QPlainTextEdit *box, int from, int to)
{
    QTextCursor c = box->textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    box->setTextCursor(c);
}

QHash<QString, QByteArray> snapshot(const QString &folder)
{
    QHash<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        QString f = it.next();
        files.insert(QFileInfo(f).fileName(), readFile(f));
    }
    return files;
}

void click(QWidget *form, const char *button)
{
    auto *b = form->findChild<QPushButton *>(QString::fromLatin1(button));
    QVERIFY2(b, button);
    b->click();
}

}  // namespace

class TestPalette : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installDesignFonts(); }  // the fonts the program maps the designs' names to

    void init()
    {
        Windows::registerFactory(QStringLiteral("WriteForm"), makeComposeStandIn);
        palette::registerWindows();
        QApplication::clipboard()->clear();
    }

    void cleanup() { Windows::unloadAll(); }

    void shippedPagesAreCp932WithCrLf()
    {
        TestProgramFolder folder;
        folder.installData();
        for (int i = 0; i < PageCount; ++i) {
            const QByteArray bytes = readFile(pageLoadPath(i));
            QVERIFY2(!bytes.isEmpty(), qPrintable(pageLoadPath(i)));
            const QString text = cp932::decode(bytes);
            QVERIFY2(!text.contains(QChar(0xFFFD)), qPrintable(pageLoadPath(i)));
            QCOMPARE(cp932::encode(text), bytes);
            QVERIFY(bytes.endsWith("\r\n"));
            QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        }
    }

    void opensWithTwelvePagesOnTabThree()
    {
        TestProgramFolder folder;
        folder.installData();
        auto *form = Windows::get<KaoForm>(QStringLiteral("KaoForm"));
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("絵・顔文字"));
        QTabWidget *tabs = form->findChild<QTabWidget *>(QStringLiteral("SSTab1"));
        QCOMPARE(tabs->count(), 12);
        QCOMPARE(tabs->currentIndex(), 3);
        QCOMPARE(tabs->tabText(3), QStringLiteral("春夏秋冬、年中行事"));
        QCOMPARE(tabs->tabText(11), QStringLiteral("○お気に入り"));
        QString expected = cp932::decode(readFile(pageLoadPath(3)));
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(form->findChild<QPlainTextEdit *>(QStringLiteral("Text3"))->toPlainText(), expected);
        // Eleven favourites buttons, none on the favourites page itself.
        int favourites = 0;
        for (QPushButton *b : form->findChildren<QPushButton *>())
            favourites += b->text() == QStringLiteral("お気に入りに追加");
        QCOMPARE(favourites, 11);
        // The pictures line up: in their pages' type, the blank and the
        // strokes they are drawn with are of one width.
        for (const char *name : {"Text2", "Text7"}) {
            const QFontMetrics fm(form->findChild<QPlainTextEdit *>(QString::fromLatin1(name))->font());
            for (QChar stroke : QStringLiteral("＿／￣＼│（）"))
                QVERIFY2(fm.horizontalAdvance(stroke) == fm.horizontalAdvance(u'\u3000'), name);
        }
    }

    void insertIntoCompose_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("expectedBody");
        QTest::addColumn<int>("expectedCaret");
        // The page holds "ab  (^_^)  cd"; the body "Hello [x]" with "[x]" selected.
        QTest::newRow("spaces trimmed") << "Kao1" << 2 << 11 << "Hello (^_^)" << 11;
        QTest::newRow("nothing selected") << "Text3" << 4 << 4 << "Hello " << 0;
    }

    void insertIntoCompose()
    {
        QFETCH(QString, page);
        QFETCH(int, from);
        QFETCH(int, to);
        TestProgramFolder folder;
        Windows::get(QStringLiteral("WriteForm"));
        QPlainTextEdit *body = composeBody();
        body->setPlainText(QStringLiteral("Hello [x]"));
        select(body, 6, 9);

        QPointer<KaoForm> form = Windows::get<KaoForm>(QStringLiteral("KaoForm"));
        form->show();
        auto *box = form->findChild<QPlainTextEdit *>(page);
        box->setPlainText(QStringLiteral("ab  (^_^)  cd"));
        select(box, from, to);
        const int index = page == "Kao1" ? 0 : 3;
        click(form, pages()[index].insertButton);

        QTEST(body->toPlainText(), "expectedBody");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ab  (^_^)  cd").mid(from, to - from));
        QTEST(box->textCursor().position(), "expectedCaret");
        QVERIFY(!box->textCursor().hasSelection());
        QTRY_VERIFY(form.isNull());
        // Closing saved the edited page.
        QCOMPARE(readFile(pageSavePath(index)), QByteArray("ab  (^_^)  cd"));
    }

    void favouritesTakeTheSelectionAtTheirCaret()
    {
        TestProgramFolder folder;
        auto *form = Windows::get<KaoForm>(QStringLiteral("KaoForm"));
        form->show();
        QPlainTextEdit *favourites = form->pageBox(FavouritesPage);
        favourites->setPlainText(QStringLiteral("[]"));
        select(favourites, 1, 1);
        QPlainTextEdit *source = form->pageBox(4);
        source->setPlainText(QStringLiteral("子 (:3=  \nおわり"));
        select(source, 1, 8);

        click(form, "Command31");
        QCOMPARE(favourites->toPlainText(), QStringLiteral("[(:3=]"));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral(" (:3=  "));
        QVERIFY(form->isVisible());
        QCOMPARE(source->textCursor().position(), 8);
    }

    void pasteReplacesTheSelection_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trimmed") << "  (^o^)  " << "a(^o^)d";
        QTest::newRow("empty clipboard deletes the selection") << "" << "ad";
        QTest::newRow("line breaks stay") << " x\ny " << "ax\nyd";
    }

    void pasteReplacesTheSelection()
    {
        QFETCH(QString, clipboard);
        TestProgramFolder folder;
        auto *form = Windows::get<KaoForm>(QStringLiteral("KaoForm"));
        QPlainTextEdit *box = form->pageBox(7);
        box->setPlainText(QStringLiteral("abcd"));
        select(box, 1, 3);
        QApplication::clipboard()->setText(clipboard);
        click(form, "Command16");
        QTEST(box->toPlainText(), "expected");
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
    }

    void openAndCloseLeaveFilesAlone()
    {
        TestProgramFolder folder;
        folder.installData();
        const QString dir = paths::resolve(QString::fromUtf16(paths::PaletteFolder));
        // Odd files too: bare LF, a lone CR, bytes that do not decode, no final line end.
        writeFile(dir + "/Text8.txt", QByteArray("a\nb\rc\x81\x20\xA0zz"));
        writeFile(dir + "/Text10.txt", QByteArray());
        const auto before = snapshot(dir);
        for (int round = 0; round < 2; ++round) {
            QPointer<QWidget> form = Windows::show(QStringLiteral("KaoForm"));
            form->close();
            QTRY_VERIFY(form.isNull());
        }
        QCOMPARE(snapshot(dir), before);
    }

    void editedPageIsStoredAsTyped()
    {
        TestProgramFolder folder;
        folder.installData();
        const QByteArray original = readFile(pageLoadPath(4));
        auto *form = Windows::get<KaoForm>(QStringLiteral("KaoForm"));
        QPlainTextEdit *box = form->pageBox(4);
        QTextCursor c(box->document());
        c.movePosition(QTextCursor::End);
        c.insertText(QStringLiteral("追加😀♥\nend"));
        form->close();
        // Unencodable characters become "〓", nothing is appended, and the
        // page keeps one file whatever the letter case of its name.
        QCOMPARE(readFile(pageLoadPath(4)), original + cp932::encode(QStringLiteral("追加〓〓")) + "\r\nend");
        const QStringList twins = QDir(paths::resolve(QString::fromUtf16(paths::PaletteFolder)))
                                      .entryList({QStringLiteral("*4.txt")}, QDir::Files);
        QCOMPARE(twins.size(), 1);
    }

    void unwritablePageIsReportedOthersAreSaved()
    {
        TestProgramFolder folder;
        folder.installData();
        ScriptedDialogs dialogs;
        // A folder where page 5's file should be: it can be neither read nor written.
        QFile::remove(pageLoadPath(5));
        QDir().mkpath(pageLoadPath(5));
        const QByteArray page6 = readFile(pageLoadPath(6));
        auto *form = Windows::get<KaoForm>(QStringLiteral("KaoForm"));
        QCOMPARE(form->pageBox(5)->toPlainText(), QString());
        form->pageBox(5)->setPlainText(QStringLiteral("lost?"));
        form->pageBox(6)->appendPlainText(QStringLiteral("kept"));
        form->pageBox(7)->appendPlainText(QStringLiteral("kept too"));
        form->close();
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.last().text.contains(QStringLiteral("乗り物、機械、昆虫、花")));
        QVERIFY(!dialogs.last().text.contains(QStringLiteral("飲物、食べ物")));
        QCOMPARE(readFile(pageLoadPath(6)), page6 + "\r\nkept");
        QVERIFY(readFile(pageLoadPath(7)).endsWith("\r\nkept too"));
    }

};

QTEST_MAIN(TestPalette)
#include "test_palette.moc"
