// The editor of the history window's body box, its text files, and the
// enlarged view.
#include "texttools/editorpane.h"
#include "texttools/editorprint.h"
#include "texttools/editorstate.h"
#include "texttools/kakudaiform.h"
#include "texttools/textfiles.h"
#include "texttools/textsearch.h"

#include "common/cp932.h"
#include "common/windows.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

using namespace korvane;
using namespace korvane::texttools;
using korvane::test::readFile;
using korvane::test::ScriptedDialogs;
using korvane::test::writeFile;

namespace {

// A window carrying the editor pane, as the history window does.
struct Host {
    Host()
    {
        resetEditorState();
        client = new QWidget(&window);
        window.setCentralWidget(client);
        pane = new EditorPane(&window, client);
        subject = new QLineEdit(QStringLiteral("件名"), client);
        sender = new QLineEdit(QStringLiteral("a@example.jp"), client);
        date = new QLineEdit(QStringLiteral("2024/05/01"), client);
        pane->setHeaderBoxes(subject, sender, date);
    }
    ~Host() { resetEditorState(); }

    QTextEdit *editor() const { return pane->editor(); }
    int selectionStart() const { return editor()->textCursor().selectionStart(); }
    int selectionLength() const
    {
        QTextCursor c = editor()->textCursor();
        return c.selectionEnd() - c.selectionStart();
    }

    QMainWindow window;
    QWidget *client;
    EditorPane *pane;
    QLineEdit *subject, *sender, *date;
};

// Prints into a PDF file instead of asking for a printer.
class PrintingDialogs : public ScriptedDialogs {
public:
    QString pdf;
    int copies = 1;
    QList<QPrinter::PrintRange> ranges;
    bool print(QWidget *parent, QPrinter *printer) override
    {
        ScriptedDialogs::print(parent, printer);
        ranges << printer->printRange();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        printer->setCopyCount(copies);
        return true;
    }
};

}  // namespace

class TestTextTools : public QObject {
    Q_OBJECT

private slots:
    void pathParts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("windows") << "C:\\docs\\a.txt" << "a.txt" << "C:\\docs\\";
        QTest::newRow("slashes") << "/home/u/a.txt" << "a.txt" << "/home/u/";
        QTest::newRow("no separator") << "a.txt" << "a.txt" << "a.txt";
        QTest::newRow("trailing separator") << "C:\\docs\\" << "" << "C:\\docs\\";
        QTest::newRow("empty") << "" << "" << "";
    }
    void pathParts()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(fileNamePart(path), name);
        QCOMPARE(directoryPart(path), folder);
    }

    void readingTextFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("last line without a break") << QByteArray("a\r\nb") << QStringLiteral("a\r\nb\r\n");
        QTest::newRow("CR LF") << QByteArray("a\r\n\r\nb\r\n") << QStringLiteral("a\r\n\r\nb\r\n");
        QTest::newRow("LF and lone CR") << QByteArray("a\nb\rc") << QStringLiteral("a\r\nb\r\nc\r\n");
        QTest::newRow("code page 932") << cp932::encode(QStringLiteral("日本語～①")) << QStringLiteral("日本語～①\r\n");
    }
    void readingTextFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        writeFile(dir.filePath("f.txt"), bytes);
        QCOMPARE(readTextFileLines(dir.filePath("f.txt")), std::optional<QString>(text));
        QVERIFY(!readTextFileLines(dir.filePath("missing.txt")));
    }

    void writingTextFiles()
    {
        QTemporaryDir dir;
        QVERIFY(writeTextFile(dir.filePath("f.txt"), QStringLiteral("一\n二\r\n三")));
        QCOMPARE(readFile(dir.filePath("f.txt")), cp932::encode(QStringLiteral("一\r\n二\r\n三")));
        QVERIFY(!writeTextFile(QString(), QStringLiteral("x")));
        QVERIFY(!writeTextFile(dir.filePath("no/such/folder/f.txt"), QStringLiteral("x")));
    }

    // "XY" at positions 3 and 7 of an eight-character text.
    void searchFindsAndWrapsAround()
    {
        TextSearch search;
        const QString text = QStringLiteral("abXYefXY");
        const QString needle = QStringLiteral("XY");
        QCOMPARE(search.findFirst(text, needle), 3);
        QCOMPARE(search.findNext(text, needle), 7);
        QCOMPARE(search.findNext(text, needle), 0);
        QCOMPARE(search.findNext(text, needle), 3);
        QCOMPARE(search.findFirst(text, QStringLiteral("xy")), 0);  // exact case
        QCOMPARE(search.findNext(text, QString()), 0);
        QCOMPARE(findFrom(QStringLiteral("ＡＢＡ"), QStringLiteral("Ａ"), 2), 3);
    }

    void searchSelectsTheHitInTheEditor()
    {
        Host h;
        h.pane->setText(QStringLiteral("abXYefXY"));
        h.pane->searchBox()->setText(QStringLiteral("XY"));
        h.window.findChild<QAction *>(QStringLiteral("mkensaku"))->trigger();
        QCOMPARE(h.selectionStart(), 2);
        QCOMPARE(h.selectionLength(), 2);
        h.window.findChild<QAction *>(QStringLiteral("mtugikensaku"))->trigger();
        QCOMPARE(h.selectionStart(), 6);
        h.pane->findNext();  // a miss changes nothing
        QCOMPARE(h.selectionStart(), 6);
        QCOMPARE(h.pane->lastFoundPosition(), 0);
        h.pane->findNext();
        QCOMPARE(h.selectionStart(), 2);
        QCOMPARE(h.selectionLength(), 2);
    }

    void newDocumentOnlyOnce()
    {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        {
            Host h;
            h.pane->setText(QStringLiteral("mail body"));
            h.window.findChild<QAction *>(QStringLiteral("mnew"))->trigger();
            QCOMPARE(h.pane->text(), QString());
            QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("新規作成.TXT"))));
            QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("新規作成.TXT"))).size(), 0);
            QCOMPARE(h.window.windowTitle(), QStringLiteral("新規作成.TXT      新規作成.TXT"));
            QCOMPARE(editorState().modified, qint16(0));

            h.pane->setText(QStringLiteral("typed"));
            QCOMPARE(editorState().modified, qint16(-1));
            h.pane->toolbarClicked(QStringLiteral("New"));
            QCOMPARE(h.pane->text(), QStringLiteral("typed"));
            QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("新規作成.TXT"))).size(), 0);

            // Edits whose file cannot be written stay, and the reason is told.
            ScriptedDialogs dialogs;
            editorState().currentFilePath = dir.filePath(QStringLiteral("gone/memo.txt"));
            h.pane->setText(QStringLiteral("keep me"));
            h.window.findChild<QAction *>(QStringLiteral("mnew"))->trigger();
            QCOMPARE(h.pane->text(), QStringLiteral("keep me"));
            QCOMPARE(dialogs.texts().size(), 1);
            QVERIFY2(dialogs.texts().at(0).contains(QStringLiteral("gone")), qPrintable(dialogs.texts().at(0)));
        }
        QDir::setCurrent(before);
    }

    void saveAsPutsTheHeaderInTheEditor()
    {
        QTemporaryDir dir;
        Host h;
        ScriptedDialogs dialogs;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        h.pane->setText(QStringLiteral("本文"));
        dialogs.fileAnswers << path << path;
        h.pane->toolbarClicked(QStringLiteral("Save"));
        h.pane->toolbarClicked(QStringLiteral("SaveAs"));
        const QString header = QStringLiteral("Subject:  件名\r\nFrom:  a@example.jp\r\nDate:  2024/05/01\r\nBody:  ");
        QCOMPARE(readFile(path), cp932::encode(header + header + QStringLiteral("本文\r\n")));
        QCOMPARE(dialogs.last().title, QStringLiteral("ファイルを開く"));
        QCOMPARE(h.window.windowTitle(), path);
        QCOMPARE(editorState().currentFilePath, QString());

        // Cancelled: the header stays in the editor, nothing is written.
        h.pane->setText(QStringLiteral("x"));
        h.pane->saveAsWithHeader();
        QVERIFY(h.pane->text().startsWith(QStringLiteral("Subject:  件名\n")));
    }

    void openReadsLinesAndSwallowsErrors()
    {
        QTemporaryDir dir;
        Host h;
        ScriptedDialogs dialogs;
        writeFile(dir.filePath("a.txt"), cp932::encode(QStringLiteral("一行目\r\n二行目")));
        h.pane->setText(QStringLiteral("old"));
        dialogs.fileAnswers << dir.filePath("a.txt");
        h.window.findChild<QAction *>(QStringLiteral("mopen"))->trigger();
        QCOMPARE(h.pane->text(), QStringLiteral("一行目\n二行目\n"));
        QCOMPARE(h.window.windowTitle(), dir.filePath("a.txt"));

        dialogs.fileAnswers << dir.filePath("missing.txt");
        h.pane->openTextFile();
        QCOMPARE(h.window.windowTitle(), dir.filePath("missing.txt"));
        QCOMPARE(h.pane->text(), QStringLiteral("一行目\n二行目\n"));
        h.pane->openTextFile();  // cancelled
        QCOMPARE(h.window.windowTitle(), dir.filePath("missing.txt"));
        QVERIFY(dialogs.texts().join(QString()).isEmpty());  // no message at all
    }

    void clipboardCommands()
    {
        Host h;
        QClipboard *clipboard = QApplication::clipboard();
        h.pane->setText(QStringLiteral("hello world"));
        QTextCursor c = h.editor()->textCursor();
        c.setPosition(6);
        c.setPosition(11, QTextCursor::KeepAnchor);
        h.editor()->setTextCursor(c);
        h.pane->copySelection();
        QCOMPARE(clipboard->text(), QStringLiteral("world"));
        QCOMPARE(h.selectionLength(), 0);
        QCOMPARE(h.editor()->textCursor().position(), 11);

        h.pane->copySelection();  // nothing selected
        QCOMPARE(clipboard->text(), QString());
        QCOMPARE(h.editor()->textCursor().position(), 0);

        h.pane->selectAll();
        QCOMPARE(h.selectionLength(), 11);
        h.pane->cutSelection();
        QCOMPARE(clipboard->text(), QStringLiteral("hello world"));
        QCOMPARE(h.pane->text(), QString());

        clipboard->setText(QStringLiteral("  pasted  "));
        h.pane->pasteClipboard();
        QCOMPARE(h.pane->text(), QStringLiteral("pasted"));
        h.pane->jumpToStart();
        QCOMPARE(h.editor()->textCursor().position(), 0);
        h.pane->jumpToEnd();
        QCOMPARE(h.editor()->textCursor().position(), 6);
    }

    void fontButtonsToggle()
    {
        Host h;
        for (int i = 0; i < 3; ++i)
            h.pane->toolbarClicked(QStringLiteral("Bold"));
        QVERIFY(h.editor()->font().bold());
        QCOMPARE(editorState().boldCount, qint16(1));
        h.pane->toolbarClicked(QStringLiteral("Italic"));
        h.pane->toolbarClicked(QStringLiteral("Italic"));
        QVERIFY(!h.editor()->font().italic());
        h.pane->toolbarClicked(QStringLiteral("Underline"));
        QVERIFY(h.editor()->font().underline());
        h.pane->toolbarClicked(QStringLiteral("bold"));  // keys compare exactly
        QVERIFY(h.editor()->font().bold());
    }

    void printingSelectionAndCopies()
    {
        QTemporaryDir dir;
        Host h;
        PrintingDialogs dialogs;
        dialogs.pdf = dir.filePath("out.pdf");
        dialogs.copies = 2;
        h.pane->setText(QStringLiteral("印刷する本文"));
        h.window.findChild<QAction *>(QStringLiteral("mprint"))->trigger();
        QVERIFY(readFile(dialogs.pdf).startsWith("%PDF"));
        h.pane->selectAll();
        h.pane->toolbarClicked(QStringLiteral("Print"));
        QCOMPARE(dialogs.ranges, QList<QPrinter::PrintRange>({QPrinter::AllPages, QPrinter::Selection}));

        // One document per copy.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("copies.pdf"));
        QCOMPARE(printTextCopies(printer, QStringLiteral("x"), h.editor()->font(), 3), 3);

        // Cancelled: nothing printed, nothing said.
        ScriptedDialogs cancelling;
        QFile::remove(dialogs.pdf);
        h.pane->printEditorText();
        QVERIFY(!QFileInfo::exists(dialogs.pdf));
        QCOMPARE(cancelling.shown.size(), 1);
    }

    void enlargedView()
    {
        KakudaiForm *view = openEnlargedView(QStringLiteral("\n  \n  本文  の中身\n\n  "), QStringLiteral("件名"),
                                             QStringLiteral("差出人"), QStringLiteral("日付"));
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->windowTitle(), QStringLiteral("拡大フォーム"));
        auto *body = view->findChild<QPlainTextEdit *>(QStringLiteral("Text15"));
        QCOMPARE(body->toPlainText(), QStringLiteral("本文  の中身"));
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("\n  \n  本文  の中身\n\n  "));
        QCOMPARE(view->findChild<QLineEdit *>(QStringLiteral("Text24"))->text(), QStringLiteral("件名"));
        QCOMPARE(view->findChild<QLineEdit *>(QStringLiteral("Text25"))->text(), QStringLiteral("差出人"));
        QCOMPARE(view->findChild<QLineEdit *>(QStringLiteral("Text46"))->text(), QStringLiteral("日付"));
        QCOMPARE(body->font().pointSize(), 12);

        // The spinner stays within 8 to 200.
        auto *down = view->findChild<QToolButton *>(QStringLiteral("UpDown1Down"));
        for (int i = 0; i < 3; ++i)
            down->click();
        QCOMPARE(view->findChild<QLineEdit *>(QStringLiteral("Text22"))->text(), QStringLiteral("9"));
        down->click();
        down->click();
        QCOMPARE(view->fontSize(), 8);
        QCOMPARE(view->findChild<QLineEdit *>(QStringLiteral("Text46"))->font().pointSize(), 8);
        for (int i = 0; i < 200; ++i)
            view->sizeUp();
        QCOMPARE(view->fontSize(), 200);
        QCOMPARE(body->font().pointSize(), 200);

        // Opening again refreshes the texts and keeps the size.
        QCOMPARE(openEnlargedView(QStringLiteral("次"), "s", "f", "d"), view);
        QCOMPARE(body->toPlainText(), QStringLiteral("次"));
        QCOMPARE(view->fontSize(), 200);

        view->findChild<QPushButton *>(QStringLiteral("Command28"))->click();
        QCOMPARE(body->textCursor().selectedText(), QStringLiteral("次"));

        // Large type: the boxes grow with it and the rows below move down,
        // so no text is cut and nothing overlaps.
        while (view->fontSize() > 28)
            view->sizeDown();
        auto *subject = view->findChild<QLineEdit *>(QStringLiteral("Text24"));
        auto *sender = view->findChild<QLineEdit *>(QStringLiteral("Text25"));
        auto *date = view->findChild<QLineEdit *>(QStringLiteral("Text46"));
        for (QLineEdit *box : {subject, sender, date})
            QVERIFY(box->height() >= QFontMetrics(box->font()).height() + 4);
        QVERIFY(sender->y() > subject->geometry().bottom());
        QCOMPARE(date->y(), sender->y());
        QVERIFY(body->y() > sender->geometry().bottom());
        while (view->fontSize() > 12)
            view->sizeDown();
        QCOMPARE(subject->height(), std::max(375 / 15, subject->sizeHint().height()));

        // Lower than 2500 twips hides the body; taller shows it again.
        view->resize(600, 150);
        QTRY_VERIFY(!body->isVisible());
        view->resize(600, 500);
        QTRY_VERIFY(body->isVisible());
        const int outer = view->frameGeometry().height() * 15;
        // Less the sender box, the title band, the subject box and the size band.
        const int rule = outer - sender->height() * 15 - 600 - subject->height() * 15 - 420 - 700;
        QCOMPARE(body->height(), std::min(rule / 15, view->findChild<QWidget *>("StatusBar1")->y() - body->y()));

        // Closing discards it: the next opening starts at 12 again.
        view->close();
        QTRY_VERIFY(!Windows::loaded(QStringLiteral("KakudaiForm")));
        KakudaiForm *again = openEnlargedView(QString(), {}, {}, {});
        QVERIFY(again);
        QCOMPARE(again->fontSize(), 12);
        Windows::unloadAll();
    }
};

QTEST_MAIN(TestTextTools)
#include "test_texttools.moc"
