// The pilgrimage on the main window: the map and guide displays, the progress
// counter through mail and restarts, the temple notes functions and the
// walking pilgrim.
#include "app/mainform.h"
#include "pilgrimage/display.h"
#include "pilgrimage/maparea.h"
#include "pilgrimage/notes.h"
#include "pilgrimage/progress.h"
#include "pilgrimage/templenotes.h"

#include "common/ui.h"
#include "common/windows.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace korvane;
using namespace korvane::pilgrimage;
using korvane::app::Mainform;

namespace {

const QString Lock = QString::fromUtf16(LockMessage);

QString noteOf(int n)
{
    return QStringLiteral("第%1番の案内//二行目").arg(n);
}

// A notes file of `count` records; record n reads noteOf(n) and carries the
// prefix "PREFIX<n>".
void writeNotesFile(const QString &path, int count, QByteArray tail = QByteArray())
{
    QByteArray bytes;
    for (int n = 1; n <= count; ++n) {
        TempleNoteRecord r;
        r.prefix = "PREFIX" + QByteArray::number(n);
        r.noteText = noteOf(n);
        bytes += encodeTempleNote(r);
    }
    test::writeFile(path, bytes + tail);
}

}  // namespace

class TestPilgrimageWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void guideShowsTemple_data();
    void guideShowsTemple();
    void counterAbove440KeepsDisplays();
    void completion_data();
    void completion();
    void mapAndGuideDisplays();
    void eachMailWalksOneCount();
    void stepsShownOncePerFrame();
    void notesRoundTrip();
    void noteStoredBeforeTheFirstFrame();
    void notesTypedAtTheEndAreKept();
    void tornAndMissingNotesFile();
    void selectTemple_data();
    void selectTemple();
    void lockedBeforeCompletion();
    void reset_data();
    void reset();
    void pasteTrimsBlanks();
    void developerCommands();
    void pilgrimRasterOperations_data();
    void pilgrimRasterOperations();
    void pilgrimInTheWindow();

private:
    Mainform *start(std::optional<QString> counter);
    template <class T> T *child(const char *name)
    {
        T *w = form_->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QString text(const char *name) { return child<QLineEdit>(name)->text(); }
    void click(const char *name) { emit child<ClickLabel>(name)->clicked(); }
    QString notesPath() const { return folder_->file("\\★MAilData\\Plxdata.data"); }

    std::unique_ptr<test::TestProgramFolder> folder_;
    std::unique_ptr<test::ScriptedDialogs> dialogs_;
    Mainform *form_ = nullptr;
};

void TestPilgrimageWindow::initTestCase()
{
    app::registerMainform();
}

void TestPilgrimageWindow::init()
{
    folder_ = std::make_unique<test::TestProgramFolder>();
    dialogs_ = std::make_unique<test::ScriptedDialogs>();
    writeNotesFile(notesPath(), 88);
    setPilgrimageComplete(0);
}

void TestPilgrimageWindow::cleanup()
{
    Windows::unloadAll();
    form_ = nullptr;
    dialogs_.reset();
    folder_.reset();
}

Mainform *TestPilgrimageWindow::start(std::optional<QString> counter)
{
    Windows::unloadAll();
    if (counter)
        QSettings("Korvane", "Korvane").setValue("Pro/Value", *counter);
    form_ = Windows::get<Mainform>("Mainform");
    form_->startUp();
    form_->show();
    if (!QTest::qWaitForWindowExposed(form_))
        qFatal("main window not exposed");
    // The text boxes come once the first frame is drawn.
    if (!QTest::qWaitFor([this] { return form_->findChild<QPlainTextEdit *>(QStringLiteral("Text7")); }))
        qFatal("no text boxes after the first frame");
    return form_;
}

void TestPilgrimageWindow::guideShowsTemple_data()
{
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("temple");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QPoint>("label");  // twips
    QTest::newRow("none stored") << QString() << 1 << "霊山寺（徳島県、鳴門市）" << QPoint(6280, 1880);
    QTest::newRow("6") << "6" << 2 << "極楽寺（徳島県、鳴門市）" << QPoint(6240, 1900);
    QTest::newRow("186") << "186" << 38 << "金剛福寺（高知県、土佐清水市）" << QPoint(2900, 4000);
    QTest::newRow("440") << "440" << 88 << "大窪寺（香川県、長尾町）" << QPoint(5880, 1620);
}

void TestPilgrimageWindow::guideShowsTemple()
{
    QFETCH(QString, counter);
    QFETCH(int, temple);
    QFETCH(QPoint, label);
    start(counter.isNull() ? std::nullopt : std::optional(counter));

    QCOMPARE(text("Text8"), counter.isNull() ? QString() : counter);
    QCOMPARE(child<QLabel>("Label25")->text(), text("Text8"));
    QCOMPARE(text("Text2"), QString::number(temple));
    QCOMPARE(child<QLabel>("Label15")->text(), QString::number(temple));
    QCOMPARE(child<QLabel>("Label15")->pos(), QPoint(twips(label.x()), twips(label.y())));
    QCOMPARE(child<QWidget>("Image5")->pos(), QPoint(twips(label.x() - 40), twips(label.y() - 80)));
    QTEST(child<QLabel>("Label22")->text(), "caption");
    QCOMPARE(child<QPlainTextEdit>("Text1")->toPlainText().trimmed(),
             noteTextForDisplay(noteOf(temple)).trimmed());
    QCOMPARE(text("Text4"), QStringLiteral("89"));
    if (temple == 38)
        QCOMPARE(child<QWidget>("Image5")->pos(), QPoint(twips(2860), twips(3920)));
}

void TestPilgrimageWindow::counterAbove440KeepsDisplays()
{
    // At start-up the displays keep their initial state.
    start(QStringLiteral("500"));
    QCOMPARE(text("Text2"), QString());
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("11"));
    QCOMPARE(child<QLabel>("Label15")->pos(), QPoint(twips(5520), twips(1920)));
    QCOMPARE(child<QWidget>("Image5")->pos(), QPoint(twips(6240), twips(1800)));
    QCOMPARE(child<QLabel>("Label22")->text(), QString());
    QCOMPARE(child<QPlainTextEdit>("Text1")->toPlainText(), QString());
    // The counter says the pilgrimage is walked; with no temple shown the
    // start-up keeps that.
    QCOMPARE(pilgrimageComplete(), qint16(1));

    // During a run, the last temple shown stays.
    start(QStringLiteral("438"));
    storeProgressCounter(441);
    showGuide();
    QCOMPARE(text("Text8"), QStringLiteral("441"));
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("88"));
    QCOMPARE(child<QLabel>("Label22")->text(), QStringLiteral("大窪寺（香川県、長尾町）"));
}

void TestPilgrimageWindow::completion_data()
{
    QTest::addColumn<QString>("startCounter");
    QTest::addColumn<int>("mails");
    QTest::addColumn<int>("afterMails");
    QTest::addColumn<int>("afterRestart");
    QTest::newRow("start at 435") << "435" << 0 << 0 << 0;
    QTest::newRow("start at 437") << "437" << 0 << 1 << 1;
    QTest::newRow("mail to 436") << "435" << 1 << 0 << 1;
    QTest::newRow("mails to 439") << "436" << 3 << 0 << 1;
    QTest::newRow("mail to 440") << "439" << 1 << 1 << 1;
}

void TestPilgrimageWindow::completion()
{
    QFETCH(QString, startCounter);
    QFETCH(int, mails);
    start(startCounter);
    for (int i = 0; i < mails; ++i)
        advanceOneMail();
    QTEST(int(pilgrimageComplete()), "afterMails");

    start(std::nullopt);  // the next start reads the stored counter
    QTEST(int(pilgrimageComplete()), "afterRestart");
}

void TestPilgrimageWindow::mapAndGuideDisplays()
{
    start(QStringLiteral("11"));
    auto *notes = child<QPlainTextEdit>("Text1");
    QVERIFY(!notes->isVisible());
    QVERIFY(!child<QWidget>("Label10")->isEnabled());
    QVERIFY(child<QWidget>("Label11")->isEnabled());

    click("Label11");
    QVERIFY(notes->isVisible());
    QCOMPARE(notes->geometry(), twipsRect(1560, 720, 5325, 3460));
    QVERIFY(child<QWidget>("Label10")->isEnabled());
    QVERIFY(!child<QWidget>("Label11")->isEnabled());
    QVERIFY(child<QWidget>("Image2")->isVisible());
    QVERIFY(child<QWidget>("Image5")->isVisible());
    // The notes box covers the map, the marker and the pilgrim.
    for (QPoint p : {MapArea::PilgrimTarget + QPoint(16, 16), child<QWidget>("Image5")->geometry().center(),
                     child<QWidget>("Label15")->geometry().center()}) {
        QWidget *top = form_->childAt(p);
        QVERIFY2(top == notes || notes->isAncestorOf(top), qPrintable(top->objectName()));
    }

    click("Label10");
    QVERIFY(!notes->isVisible());
    QVERIFY(!child<QWidget>("Label10")->isEnabled());
    QVERIFY(child<QWidget>("Label11")->isEnabled());
    QCOMPARE(form_->childAt(MapArea::PilgrimTarget + QPoint(16, 16)), child<QWidget>("Image2"));
}

void TestPilgrimageWindow::eachMailWalksOneCount()
{
    start(std::nullopt);
    for (int i = 1; i <= 6; ++i) {
        advanceOneMail();
        QCOMPARE(QSettings("Korvane", "Korvane").value("Pro/Value").toString(), QString::number(i));
        QCOMPARE(child<QLabel>("Label25")->text(), QString::number(i));
    }
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("2"));
    QCOMPARE(child<QLabel>("Label22")->text(), QStringLiteral("極楽寺（徳島県、鳴門市）"));
    // Each mail ends in the map display, also when the guide was open, with
    // the temple's note in the hidden notes box, also when the user had
    // typed into the box meanwhile (the same note as the last mail's).
    click("Label11");
    QTest::keyClicks(child<QPlainTextEdit>("Text1"), QStringLiteral("xyz"));
    QVERIFY(child<QPlainTextEdit>("Text1")->toPlainText().contains(u"xyz"));
    advanceOneMail();
    QVERIFY(!child<QWidget>("Text1")->isVisible());
    QVERIFY(!child<QWidget>("Label10")->isEnabled());
    QVERIFY(child<QWidget>("Label11")->isEnabled());
    QVERIFY(child<QWidget>("Image2")->isVisible() && child<QWidget>("Image5")->isVisible());
    QCOMPARE(child<QPlainTextEdit>("Text1")->toPlainText(),
             noteTextForDisplay(readTempleNoteRecord(2).value_or(TempleNoteRecord{}).noteText));
    QCOMPARE(child<QPlainTextEdit>("Text1")->geometry(), twipsRect(1560, 720, 5325, 3460));
}

// Mails that come in faster than the screen is drawn each count at once;
// the guide and the map show the count as it stands once per frame, and
// whatever the user does meanwhile works on the last step.
void TestPilgrimageWindow::stepsShownOncePerFrame()
{
    start(std::nullopt);
    const QString before = text("Text8");
    for (int i = 1; i <= 6; ++i) {
        advanceOneMailInFrame();
        QCOMPARE(QSettings("Korvane", "Korvane").value("Pro/Value").toString(), QString::number(i));
    }
    QCOMPARE(text("Text8"), before);
    click("Label11");  // the guide, of the sixth step
    QCOMPARE(text("Text8"), QStringLiteral("6"));
    QCOMPARE(child<QLabel>("Label25")->text(), QStringLiteral("6"));
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("2"));
    QVERIFY(child<QWidget>("Text1")->isVisible());

    advanceOneMailInFrame();
    advanceOneMailInFrame();
    QTRY_COMPARE(text("Text8"), QStringLiteral("8"));
    QVERIFY(!child<QWidget>("Text1")->isVisible());
    QVERIFY(child<QWidget>("Image2")->isVisible() && child<QWidget>("Image5")->isVisible());

    // A count typed in goes in after the step waiting to be shown, and the
    // next mail counts on from it.
    advanceOneMailInFrame();
    child<QLineEdit>("Text9")->setText(QStringLiteral("20"));
    QCOMPARE(text("Text8"), QStringLiteral("20"));
    advanceOneMailInFrame();
    QCOMPARE(QSettings("Korvane", "Korvane").value("Pro/Value").toString(), QStringLiteral("21"));
    showPendingStep();
    QCOMPARE(text("Text8"), QStringLiteral("21"));
}

void TestPilgrimageWindow::notesRoundTrip()
{
    start(QStringLiteral("440"));
    const QByteArray before = test::readFile(notesPath());
    dialogs_->inputAnswers.enqueue(QStringLiteral("12"));
    click("Label14");
    QCOMPARE(text("Text2"), QStringLiteral("12"));
    auto *notes = child<QPlainTextEdit>("Text1");
    QVERIFY(notes->isVisible());
    QCOMPARE(notes->toPlainText().trimmed(), QStringLiteral("第12番の案内\n二行目"));
    // The pilgrim's own place stays.
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("88"));
    QCOMPARE(child<QLabel>("Label22")->text(), QStringLiteral("大窪寺（香川県、長尾町）"));

    notes->setPlainText(QStringLiteral("一行目\n二行目 // 三行目\n終わり"));
    click("Label13");
    QCOMPARE(dialogs_->last().text, QStringLiteral("変更が完了しました。"));

    const QByteArray file = test::readFile(notesPath());
    QCOMPARE(file.size(), 88 * 2054);
    const QByteArray record = file.mid(11 * 2054, 2054);
    QCOMPARE(record.left(8), QByteArray("PREFIX12"));
    QCOMPARE(decodeTempleNote(record).noteText.trimmed(), QStringLiteral("一行目//二行目 // 三行目//終わり"));
    QCOMPARE(file.left(11 * 2054), before.left(11 * 2054));
    QCOMPARE(file.mid(12 * 2054), before.mid(12 * 2054));

    // Read again: the typed "//" has become a line break.
    child<QLineEdit>("Text2")->setText(QStringLiteral("12"));
    notes->clear();
    emit child<QPushButton>("Command2")->clicked();
    QCOMPARE(notes->toPlainText().trimmed(), QStringLiteral("一行目\n二行目 \n 三行目\n終わり"));

}

// The notes box is made once the first frame is drawn; a note stored before
// then is the one read, never an empty box's.
void TestPilgrimageWindow::noteStoredBeforeTheFirstFrame()
{
    QSettings("Korvane", "Korvane").setValue("Pro/Value", QStringLiteral("440"));
    form_ = Windows::get<Mainform>("Mainform");
    form_->startUp();
    QVERIFY(!form_->findChild<QPlainTextEdit *>(QStringLiteral("Text1")));
    QVERIFY(writeTempleNote(88));
    const QByteArray record = test::readFile(notesPath()).mid(87 * 2054, 2054);
    QCOMPARE(decodeTempleNote(record).noteText.trimmed(), noteOf(88).trimmed());
    QCOMPARE(child<QPlainTextEdit>("Text1")->toPlainText().trimmed(), noteTextForDisplay(noteOf(88)).trimmed());
}

// The box shows the note without the blanks that fill its field: what is
// typed after a click below the note lands at its end, is stored, and is
// shown again. What does not fit the field is refused, the record unchanged.
void TestPilgrimageWindow::notesTypedAtTheEndAreKept()
{
    start(QStringLiteral("440"));
    dialogs_->inputAnswers.enqueue(QStringLiteral("12"));
    click("Label14");
    auto *notes = child<QPlainTextEdit>("Text1");
    QCOMPARE(notes->toPlainText(), QStringLiteral("第12番の案内\n二行目"));
    const QPoint below(notes->viewport()->width() / 2, notes->viewport()->height() - 4);
    QTest::mouseClick(notes->viewport(), Qt::LeftButton, {}, below);
    QTest::keyClicks(notes, "  memo");
    click("Label13");
    QCOMPARE(dialogs_->last().text, QStringLiteral("変更が完了しました。"));
    QCOMPARE(decodeTempleNote(test::readFile(notesPath()).mid(11 * 2054, 2054)).noteText.trimmed(),
             QStringLiteral("第12番の案内//二行目  memo"));

    notes->clear();
    emit child<QPushButton>("Command2")->clicked();
    QCOMPARE(notes->toPlainText(), QStringLiteral("第12番の案内\n二行目  memo"));

    const QByteArray before = test::readFile(notesPath());
    notes->setPlainText(QString(1999, u'x') + QStringLiteral("字"));  // 2001 bytes
    click("Label13");
    QVERIFY(dialogs_->last().text.startsWith(QStringLiteral("変更を保存できませんでした。")));
    QVERIFY(dialogs_->last().text.contains(QStringLiteral("2001")));
    notes->setPlainText(QStringLiteral("お遍路🙏"));
    click("Label13");
    QVERIFY(dialogs_->last().text.contains(QStringLiteral("「🙏」")));
    QCOMPARE(test::readFile(notesPath()), before);

    notes->setPlainText(QString(1998, u'x') + QStringLiteral("字"));  // exactly 2000 bytes
    click("Label13");
    QCOMPARE(dialogs_->last().text, QStringLiteral("変更が完了しました。"));
    notes->clear();
    emit child<QPushButton>("Command2")->clicked();
    QCOMPARE(notes->toPlainText(), QString(1998, u'x') + QStringLiteral("字"));
}

void TestPilgrimageWindow::tornAndMissingNotesFile()
{
    // Two whole records and a torn third.
    writeNotesFile(notesPath(), 2, QByteArray(700, 'x'));
    const QByteArray before = test::readFile(notesPath());
    start(QStringLiteral("440"));
    QCOMPARE(text("Text4"), QStringLiteral("3"));
    QCOMPARE(child<QPlainTextEdit>("Text1")->toPlainText(), QString());

    // Storing temple 3's notes replaces the torn tail; the whole records stay.
    child<QLineEdit>("Text2")->setText(QStringLiteral("3"));
    child<QPlainTextEdit>("Text1")->setPlainText(QStringLiteral("新しい案内"));
    click("Label13");
    const QByteArray after = test::readFile(notesPath());
    QCOMPARE(after.size(), 3 * 2054);
    QCOMPARE(after.left(2 * 2054), before.left(2 * 2054));
    QCOMPARE(decodeTempleNote(after.mid(2 * 2054)).noteText.trimmed(), QStringLiteral("新しい案内"));

    // No notes file at all: no notes, no records.
    QFile::remove(notesPath());
    start(QStringLiteral("20"));
    QCOMPARE(text("Text2"), QStringLiteral("4"));
    QCOMPARE(text("Text4"), QStringLiteral("1"));
    QCOMPARE(child<QPlainTextEdit>("Text1")->toPlainText(), QString());
}

void TestPilgrimageWindow::selectTemple_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("message");  // empty: the notes are shown
    QTest::addColumn<QString>("text2");
    const QString bad = QStringLiteral("不正な入力です。");
    const QString wrong = QStringLiteral("番号が正しくありません。");
    QTest::newRow("12") << std::optional<QString>("12") << "" << "12";
    QTest::newRow("full-width digits") << std::optional<QString>("８８") << "" << "88";
    QTest::newRow("89") << std::optional<QString>("89") << wrong << "";
    QTest::newRow("abc") << std::optional<QString>("abc") << bad << "88";
    QTest::newRow("cancel") << std::optional<QString>() << bad << "88";
    QTest::newRow("beyond 16 bits") << std::optional<QString>("40000") << bad << "88";
}

void TestPilgrimageWindow::selectTemple()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, message);
    QFETCH(QString, text2);
    start(QStringLiteral("440"));
    dialogs_->inputAnswers.enqueue(answer);
    click("Label14");
    QCOMPARE(dialogs_->shown.first().kind, Dialogs::Kind::Input);
    QCOMPARE(dialogs_->shown.first().text, QStringLiteral("見たい札所番号を入力して下さい。"));
    QCOMPARE(text("Text2"), text2);
    if (message.isEmpty()) {
        QCOMPARE(dialogs_->shown.size(), 1);
        QCOMPARE(child<QPlainTextEdit>("Text1")->toPlainText().trimmed(),
                 noteTextForDisplay(noteOf(text2.toInt())).trimmed());
        QVERIFY(child<QWidget>("Text1")->isVisible());
    } else {
        QCOMPARE(dialogs_->last().text, message);
        QCOMPARE(dialogs_->last().title, ProgramTitle);
    }
}

void TestPilgrimageWindow::lockedBeforeCompletion()
{
    start(QStringLiteral("437"));
    advanceOneMail();  // 438 during the run: still locked
    QCOMPARE(pilgrimageComplete(), qint16(0));
    const QByteArray file = test::readFile(notesPath());
    auto *notes = child<QPlainTextEdit>("Text1");
    notes->setPlainText(QStringLiteral("typed"));
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));

    for (const char *label : {"Label13", "Label14", "Label23"}) {
        dialogs_->clear();
        click(label);
        QCOMPARE(dialogs_->texts(), QStringList{Lock});
        QCOMPARE(dialogs_->last().title, ProgramTitle);
    }
    QCOMPARE(notes->toPlainText(), QStringLiteral("typed"));
    QCOMPARE(test::readFile(notesPath()), file);
    QCOMPARE(text("Text2"), QStringLiteral("88"));
}

void TestPilgrimageWindow::reset_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestPilgrimageWindow::reset()
{
    QFETCH(bool, yes);
    start(QStringLiteral("440"));
    dialogs_->questionAnswers.enqueue(yes);
    click("Label24");
    QCOMPARE(dialogs_->last().kind, Dialogs::Kind::Question);
    QCOMPARE(dialogs_->last().title, QStringLiteral("確認"));
    QCOMPARE(dialogs_->last().text, QStringLiteral("データがリセットされ、霊山寺からのスタートとなります。"));
    const QString stored = QSettings("Korvane", "Korvane").value("Pro/Value").toString();
    if (!yes) {
        QCOMPARE(stored, QStringLiteral("440"));
        QCOMPARE(text("Text8"), QStringLiteral("440"));
        QCOMPARE(pilgrimageComplete(), qint16(1));
        return;
    }
    QCOMPARE(stored, QStringLiteral("0"));
    QCOMPARE(text("Text8"), QStringLiteral("0"));
    QCOMPARE(child<QLabel>("Label25")->text(), QStringLiteral("0"));
    QCOMPARE(pilgrimageComplete(), qint16(0));
    // The map changes at the next guide display.
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("88"));
    click("Label11");
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("1"));
    QCOMPARE(child<QLabel>("Label22")->text(), QStringLiteral("霊山寺（徳島県、鳴門市）"));
    dialogs_->clear();
    click("Label23");
    QCOMPARE(dialogs_->texts(), QStringList{Lock});
}

void TestPilgrimageWindow::pasteTrimsBlanks()
{
    start(QStringLiteral("440"));
    auto *notes = child<QPlainTextEdit>("Text1");
    notes->setPlainText(QStringLiteral("ABCD"));
    QTextCursor c = notes->textCursor();
    c.setPosition(1);
    c.setPosition(3, QTextCursor::KeepAnchor);  // "BC" selected
    notes->setTextCursor(c);
    QGuiApplication::clipboard()->setText(QStringLiteral("  貼り付け\r\n二行  "));
    click("Label23");
    QCOMPARE(notes->toPlainText(), QStringLiteral("A貼り付け\n二行D"));
    QVERIFY(dialogs_->shown.isEmpty());
}

void TestPilgrimageWindow::developerCommands()
{
    start(QStringLiteral("10"));
    // Text9 feeds Text8, and with it Label25 and the completion flag;
    // Command4 stores its whole numeric value.
    child<QLineEdit>("Text9")->setText(QStringLiteral("440.5abc"));
    QCOMPARE(child<QLabel>("Label25")->text(), QStringLiteral("440.5abc"));
    QCOMPARE(pilgrimageComplete(), qint16(1));
    emit child<QPushButton>("Command4")->clicked();
    QCOMPARE(QSettings("Korvane", "Korvane").value("Pro/Value").toString(), QStringLiteral("440"));

    // "登録" appends the notes box with the prefix of the record read last.
    child<QPlainTextEdit>("Text1")->setPlainText(QStringLiteral("追加"));
    emit child<QPushButton>("Command1")->clicked();
    const QByteArray file = test::readFile(notesPath());
    QCOMPARE(file.size(), 89 * 2054);
    QCOMPARE(file.mid(88 * 2054, 7), QByteArray("PREFIX2"));  // temple 2, read at start-up
    QCOMPARE(decodeTempleNote(file.mid(88 * 2054)).noteText.trimmed(), QStringLiteral("追加"));
    emit child<QPushButton>("Command3")->clicked();
    QCOMPARE(text("Text4"), QStringLiteral("89"));

    child<QLineEdit>("Text2")->clear();
    emit child<QPushButton>("Command2")->clicked();
    QCOMPARE(dialogs_->last().text, QStringLiteral("データが選択されていません"));
}

void TestPilgrimageWindow::pilgrimRasterOperations_data()
{
    // A sheet drawn at the plain size, and one at twice the size shown on a
    // screen of twice the density: the same square, cut at twice the pixels.
    QTest::addColumn<int>("scale");
    QTest::newRow("plain") << 1;
    QTest::newRow("twice the size") << 2;
}

void TestPilgrimageWindow::pilgrimRasterOperations()
{
    QFETCH(int, scale);
    // A map of one colour and a sheet whose two figures differ: red on the
    // left half of cell 0, green on the right half of cell 1.
    QImage map(100, 100, QImage::Format_RGB32);
    map.fill(QColor(0x33, 0x66, 0x99));
    QImage sheet(64 * scale, 257 * scale, QImage::Format_RGB32);
    sheet.fill(Qt::black);
    QPainter p(&sheet);
    p.scale(scale, scale);
    p.fillRect(0, 0, 64, 128, Qt::white);
    p.fillRect(0, 0, 16, 32, Qt::red);
    p.fillRect(0, 128, 16, 32, Qt::white);
    p.fillRect(48, 0, 16, 32, Qt::green);
    p.fillRect(48, 128, 16, 32, Qt::white);
    p.end();
    sheet.setDevicePixelRatio(scale);

    MapArea area;
    area.resize(200, 160);
    area.setMapPicture(map);
    area.setSpriteSheet(sheet);
    QCOMPARE(area.charaFrame(), qint16(0));
    const QRect r = area.pilgrimRect();
    QCOMPARE(r, QRect(MapArea::PilgrimTarget, QSize(32, 32)));

    auto shoot = [&] {
        QImage shot(area.size() * scale, QImage::Format_RGB32);
        shot.setDevicePixelRatio(scale);
        area.render(&shot);
        return shot;
    };
    // the colour at a point of the widget, x and y in device pixels
    auto at = [&](const QImage &shot, int x, int y) { return QColor(shot.pixel(x, y)); };
    const int left = r.left() * scale, top = r.top() * scale;
    QImage shot = shoot();
    QCOMPARE(at(shot, left + 4 * scale, top + 4 * scale), QColor(Qt::red));
    QCOMPARE(at(shot, left + 16 * scale - 1, top + 32 * scale - 1), QColor(Qt::red));
    QCOMPARE(at(shot, left + 16 * scale, top + 4 * scale), QColor(0x33, 0x66, 0x99));
    QCOMPARE(at(shot, left + 24 * scale, top + 4 * scale), QColor(0x33, 0x66, 0x99));
    QCOMPARE(at(shot, (r.right() + 2) * scale, top + 4 * scale), QColor(0x33, 0x66, 0x99));

    area.stepPilgrim();
    QCOMPARE(area.charaFrame(), qint16(1));
    shot = shoot();
    QCOMPARE(at(shot, left + 4 * scale, top + 4 * scale), QColor(0x33, 0x66, 0x99));
    QCOMPARE(at(shot, left + 24 * scale, top + 4 * scale), QColor(Qt::green));
    QCOMPARE(at(shot, left + 32 * scale - 1, top + 32 * scale - 1), QColor(Qt::green));

    area.stepPilgrim();
    QCOMPARE(area.charaFrame(), qint16(0));

    // Another map of the same size is stretched anew; one stretched already,
    // but not to this area, is not taken.
    map.fill(QColor(0x99, 0x66, 0x33));
    area.setMapPicture(map);
    QCOMPARE(at(shoot(), 2, 2), QColor(0x99, 0x66, 0x33));
    QImage elsewhere = MapArea::stretchedMap(map, QSize(10, 10), scale);
    elsewhere.fill(Qt::black);
    area.setMapPicture(map, elsewhere);
    QCOMPARE(at(shoot(), 2, 2), QColor(0x99, 0x66, 0x33));
}

void TestPilgrimageWindow::pilgrimInTheWindow()
{
    start(std::nullopt);
    auto *map = child<MapArea>("Image2");
    // The pilgrim stands at (120, 90) of the client area, on the map.
    QCOMPARE(map->mapTo(form_, map->pilgrimRect().topLeft()), MapArea::PilgrimTarget);
    QVERIFY(!map->spriteSheet().isNull());
    QCOMPARE(map->spriteSheet().size(), QSize(64, 257));
    auto *step = form_->findChild<QTimer *>("tmrCharaStep");
    QVERIFY(step && step->isActive());
    QCOMPARE(step->interval(), 600);
    const qint16 first = map->charaFrame();
    QSignalSpy ticks(step, &QTimer::timeout);
    QVERIFY(ticks.wait(2000));
    QCOMPARE(map->charaFrame(), qint16(1 - first));
}

QTEST_MAIN(TestPilgrimageWindow)
#include "test_pilgrimage_window.moc"
