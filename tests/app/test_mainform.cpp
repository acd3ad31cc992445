// The main window: its controls, hints, launchers, clock and start-up.
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"
#include "compose/draft.h"
#include "compose/register.h"
#include "pilgrimage/maparea.h"

#include "common/ui.h"
#include "common/windows.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QtTest>

#include <memory>

using namespace korvane;
using korvane::app::Mainform;

namespace {

// A stand-in window that counts how often it is asked to show itself.
class CountingWindow : public QWidget {
public:
    int shows = 0;
    void setVisible(bool visible) override
    {
        if (visible)
            ++shows;
        QWidget::setVisible(visible);
    }
};

}  // namespace

class TestMainform : public QObject {
    Q_OBJECT
public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void windowAndCaption();
    void stacking();
    void hiddenFields();
    void hints_data();
    void hints();
    void everyLauncherHasItsHint();
    void hintStaysOverCaptions();
    void doubleClickOpensOnce();
    void disabledLaunchersAreGreyed();
    void launchersWithoutWindows();
    void homePageAndMinimise();
    void clock();
    void firstStartOpensServerSettings();
    void configuredStartOpensNoSettings();
    void japaneseStockButtons();
    void picturesHaveTwinsAtTwiceTheSize_data();
    void picturesHaveTwinsAtTwiceTheSize();
    void unsentMailReopensAtStart();

private:
    Mainform *open();
    template <class T = QWidget> T *child(const QString &name)
    {
        T *w = form_->findChild<T *>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }

    std::unique_ptr<test::TestProgramFolder> folder_;
    std::unique_ptr<test::ScriptedDialogs> dialogs_;
    Mainform *form_ = nullptr;
    QList<QUrl> opened;
};

void TestMainform::initTestCase()
{
    app::registerMainform();
    QDesktopServices::setUrlHandler("https", this, "openUrl");
    QDesktopServices::setUrlHandler("http", this, "openUrl");
}

void TestMainform::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("http");
}

void TestMainform::init()
{
    folder_ = std::make_unique<test::TestProgramFolder>();
    folder_->installData();
    dialogs_ = std::make_unique<test::ScriptedDialogs>();
}

void TestMainform::cleanup()
{
    Windows::unloadAll();
    form_ = nullptr;
    dialogs_.reset();
    folder_.reset();
}

Mainform *TestMainform::open()
{
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

void TestMainform::windowAndCaption()
{
    open();
    QCOMPARE(form_->windowTitle(), QStringLiteral("Korvane(ハルモ）"));
    QCOMPARE(form_->size(), QSize(twips(7800), twips(4995)));
    QCOMPARE(form_->objectName(), QStringLiteral("Mainform"));
}

void TestMainform::stacking()
{
    open();
    // Earlier controls of the design lie over later ones.
    auto topAt = [this](const char *over, const char *under) {
        const QRect common = child(QString::fromLatin1(over))->geometry() &
                             child(QString::fromLatin1(under))->geometry();
        QVERIFY2(!common.isEmpty(), over);
        QCOMPARE(form_->childAt(common.center())->objectName(), QString::fromLatin1(over));
    };
    topAt("Label24", "Image8");
    topAt("Label13", "Image4");
    // The marker's corner away from its number label.
    QCOMPARE(form_->childAt(child("Image5")->geometry().topLeft() + QPoint(1, 1)), child("Image5"));
    topAt("Label15", "Image2");
    topAt("Label22", "Image2");
    topAt("Label25", "Image2");
    topAt("Label2", "Image1");
    topAt("Label1", "Image1");
    topAt("Image2", "Image1");
    // The hint box lies over the notes box.
    child("Text1")->show();
    child("Text7")->show();
    const QRect both = child("Text1")->geometry() & child("Text7")->geometry();
    QWidget *top = form_->childAt(both.center());
    QVERIFY(top == child("Text7") || child("Text7")->isAncestorOf(top));
    // Labels and pictures are drawn without a background of their own.
    QVERIFY(!child("Label2")->autoFillBackground());
    QVERIFY(!child("Label22")->autoFillBackground());
}

void TestMainform::hiddenFields()
{
    open();
    for (const char *name : {"Text2", "Text8", "Text9", "Text4", "Text6", "Text5", "picChara", "Command1",
                             "Command2", "Command3", "Command4", "Label16", "Label21", "Label18", "Label19"}) {
        QWidget *w = child(QString::fromLatin1(name));
        // Outside the client area, and never reached by the user.
        QVERIFY2(!w->isVisible(), name);
        QVERIFY2(w->x() >= twips(7995) || w->y() >= twips(5520), name);
        QVERIFY2(!form_->rect().intersects(w->geometry()), name);
    }
    for (const char *name : {"Text2", "Text8", "Text9", "Text4", "Text6", "Text5"})
        QVERIFY(qobject_cast<QLineEdit *>(child(QString::fromLatin1(name))));
    QVERIFY(qobject_cast<QLabel *>(child("Label17")));
}

void TestMainform::hints_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("hint");
    QTest::newRow("launcher") << "Label2" << "メールを新規作成、送信します。";
    QTest::newRow("ideographic space") << "Label5"
                                       << "送信したメールが見られます。送信したかな？\u3000と自信のない時はここで確認して下さい。";
    QTest::newRow("small button") << "Label24" << "八十八箇所を踏破すると使用できるようになります。巡礼データを１からに戻します。";
    QTest::newRow("user's guide") << "Label7" << "このプログラムの利用の手引きをブラウザで開きます。";
}

void TestMainform::hints()
{
    QFETCH(QString, name);
    QFETCH(QString, hint);
    open();
    auto *box = child<QPlainTextEdit>("Text7");
    QVERIFY(!box->isVisible());
    QWidget *control = child(name);
    // The real pointer path: from the background onto the control.
    QTest::mouseMove(form_, QPoint(2, 2));
    QTest::mouseMove(form_, control->geometry().center());
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->toPlainText(), hint);
    // The whole hint shows, inside the window, beside the control: the mouse
    // rests on the control, so the box could not be scrolled.
    QCOMPARE(box->verticalScrollBar()->maximum(), 0);
    QVERIFY(form_->rect().contains(box->geometry()));
    QVERIFY(!box->geometry().intersects(control->geometry()));

    // Onto the map: hidden, its text kept.
    QTest::mouseMove(form_, child("Image2")->geometry().center() + QPoint(-60, 40));
    QTRY_VERIFY(!box->isVisible());
    QCOMPARE(box->toPlainText(), hint);
}

void TestMainform::everyLauncherHasItsHint()
{
    open();
    auto *box = child<QPlainTextEdit>("Text7");
    QSet<QString> seen;
    for (const char *name : {"Label2", "Label3", "Label4", "Label5", "Label6", "Label10", "Label11", "Label13",
                             "Label14", "Label20", "Label23", "Label24", "Label7", "Label8"}) {
        QTest::mouseMove(form_, QPoint(2, 2));
        QTRY_VERIFY(!box->isVisible());
        QTest::mouseMove(form_, child(QString::fromLatin1(name))->geometry().center());
        QTRY_VERIFY2(box->isVisible(), name);
        QVERIFY2(!box->toPlainText().isEmpty() && !seen.contains(box->toPlainText()), name);
        seen.insert(box->toPlainText());
    }
}

void TestMainform::hintStaysOverCaptions()
{
    open();
    auto *box = child<QPlainTextEdit>("Text7");
    for (const char *onto : {"Label22", "Label17"}) {
        QTest::mouseMove(form_, child("Label4")->geometry().center());
        QTRY_VERIFY(box->isVisible());
        QTest::mouseMove(form_, child(QString::fromLatin1(onto))->geometry().center());
        QTest::qWait(20);
        QVERIFY2(box->isVisible(), onto);
        QCOMPARE(box->toPlainText(), QStringLiteral("受信したメールが見られます。"));
    }
    // The background hides it, and so does the notes box.
    QTest::mouseMove(form_, QPoint(3, twips(4800)));
    QTRY_VERIFY(!box->isVisible());
    child("Text1")->show();
    QTest::mouseMove(form_, child("Label4")->geometry().center());
    QTRY_VERIFY(box->isVisible());
    QTest::mouseMove(form_, child("Text1")->geometry().center() + QPoint(-100, -40));
    QTRY_VERIFY(!box->isVisible());
}

void TestMainform::doubleClickOpensOnce()
{
    CountingWindow *compose = nullptr;
    Windows::registerFactory("WriteForm", [&compose] { return compose = new CountingWindow; });
    open();
    QTRY_VERIFY(compose);  // loaded hidden once the window has been drawn
    QCOMPARE(compose->shows, 0);
    QWidget *label = child("Label2");
    const QPoint at = label->rect().center();

    // The second click falls into the feedback, while the label is disabled.
    QTimer::singleShot(15, label, [&] {
        QVERIFY(!label->isEnabled());
        QTest::mouseClick(label, Qt::LeftButton, {}, at);
    });
    QTest::mouseClick(label, Qt::LeftButton, {}, at);
    QTest::qWait(100);
    QCOMPARE(compose->shows, 1);
    QVERIFY(label->isEnabled());
    QVERIFY(compose->isVisible());

    // A later click brings the same window forward again.
    QTest::mouseClick(label, Qt::LeftButton, {}, at);
    QCOMPARE(compose->shows, 2);
    QCOMPARE(Windows::loaded("WriteForm"), compose);
    Windows::registerFactory("WriteForm", [] { return nullptr; });
}

// A disabled launcher is drawn in the window's grey, whether or not it has
// had the keyboard focus (a label that has lays its caption out otherwise).
void TestMainform::disabledLaunchersAreGreyed()
{
    open();
    // The caption's colour: the darkest of it drawn on white.
    auto darkest = [](QWidget *w) {
        QImage shot(w->size(), QImage::Format_RGB32);
        shot.fill(Qt::white);
        w->render(&shot);
        QColor found = Qt::white;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (const QColor c = shot.pixelColor(x, y); c.lightness() < found.lightness())
                    found = c;
        return found;
    };
    auto grey = [](const QColor &c) {
        return std::abs(c.red() - 0x9c) < 8 && std::abs(c.green() - 0x8c) < 8 && std::abs(c.blue() - 0x84) < 8;
    };
    QWidget *map = child("Label10");  // the display shown
    QVERIFY(!map->isEnabled());
    QVERIFY2(grey(darkest(map)), qPrintable(darkest(map).name()));
    QWidget *compose = child("Label2");
    compose->setFocus();
    QTRY_VERIFY(compose->hasFocus());
    compose->setEnabled(false);
    QVERIFY2(grey(darkest(compose)), qPrintable(darkest(compose).name()));
}

void TestMainform::launchersWithoutWindows()
{
    Windows::registerFactory("WriteForm", [] { return nullptr; });
    open();
    const int before = QApplication::topLevelWidgets().size();
    for (const char *name : {"Label2", "Label6", "Label20"}) {
        QWidget *label = child(QString::fromLatin1(name));
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
        QVERIFY(label->isEnabled());
    }
    int visible = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        visible += w->isVisible() ? 1 : 0;
    QCOMPARE(visible, 1);
    QCOMPARE(QApplication::topLevelWidgets().size(), before);
}

void TestMainform::homePageAndMinimise()
{
    open();
    auto clickHp = [this] {
        opened.clear();
        dialogs_->clear();
        QTest::mouseClick(child("Label7"), Qt::LeftButton, {}, child("Label7")->rect().center());
    };
    // No guide beside the program: the user is told, nothing else happens.
    QVERIFY(Mainform::userGuidePath().isEmpty() ||
            !Mainform::userGuidePath().startsWith(folder_->path()));
    if (Mainform::userGuidePath().isEmpty()) {
        clickHp();
        QVERIFY(opened.isEmpty());
        QCOMPARE(dialogs_->shown.size(), 1);
        QCOMPARE(dialogs_->last().title, QStringLiteral("Korvane（ハルモ）"));
        QVERIFY(dialogs_->last().text.contains(QStringLiteral("見つかりません")));
    }

    // The guide shipped in the program folder is opened in the browser.
    test::writeFile(folder_->file(QStringLiteral("guide/index.html")), "<html></html>");
    QDesktopServices::setUrlHandler("file", this, "openUrl");
    clickHp();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(folder_->file("guide/index.html")).canonicalFilePath())});
    QVERIFY(dialogs_->shown.isEmpty());

    // No browser could be started (the offscreen platform has none): said so,
    // with where the guide is.
    clickHp();
    QCOMPARE(dialogs_->shown.size(), 1);
    QVERIFY(dialogs_->last().text.contains(QStringLiteral("ブラウザを起動できませんでした")));
    QVERIFY(dialogs_->last().text.contains(QStringLiteral("index.html")));

    QTest::mouseClick(child("Label8"), Qt::LeftButton, {}, child("Label8")->rect().center());
    QTRY_VERIFY(form_->windowState() & Qt::WindowMinimized);
}

void TestMainform::clock()
{
    QCOMPARE(Mainform::clockText(QDateTime(QDate(2003, 1, 8), QTime(14, 5, 9))),
             QStringLiteral("2003/01/08  14:05:09"));
    open();
    const QRegularExpression shape(QStringLiteral("^\\d{4}/\\d{2}/\\d{2}  \\d{2}:\\d{2}:\\d{2}$"));
    QVERIFY(shape.match(child<QLineEdit>("Text6")->text()).hasMatch());

    auto *timer2 = form_->findChild<QTimer *>("Timer2");
    QVERIFY(timer2 && timer2->isActive());
    QCOMPARE(timer2->interval(), 1000);
    // Nothing ticks faster than the pilgrim's step: the window sleeps when idle.
    for (QTimer *t : form_->findChildren<QTimer *>())
        QVERIFY2(!t->isActive() || t->interval() >= 600, qPrintable(t->objectName()));

    // The clock keeps running while the window is minimised.
    form_->setWindowState(Qt::WindowMinimized);
    QSignalSpy ticks(timer2, &QTimer::timeout);
    QVERIFY(ticks.wait(2500));
    QCOMPARE(child<QLineEdit>("Text6")->text(), Mainform::clockText(QDateTime::currentDateTime()));
}

void TestMainform::firstStartOpensServerSettings()
{
    app::registerAllWindows();
    QVERIFY(!QFile::exists(folder_->file("pelnix.ini")));
    open();
    QWidget *options = Windows::loaded("OptionForm");
    if (!Windows::isRegistered("OptionForm"))
        QSKIP("the server settings window is not part of this build");
    QVERIFY(options && options->isVisible());
    QVERIFY(form_->isVisible());
    // The pilgrim stands at temple 1 in the map display.
    QCOMPARE(child<QLabel>("Label15")->text(), QStringLiteral("1"));
    QVERIFY(!child("Text1")->isVisible());
    QVERIFY(!child("Label10")->isEnabled());
    QVERIFY(child("Label11")->isEnabled());

    // The compose window is loaded once the window has been drawn, hidden,
    // with its fortune option off.
    QTRY_VERIFY(Windows::loaded("WriteForm"));
    QWidget *compose = Windows::loaded("WriteForm");
    QVERIFY(!compose->isVisible());
    if (auto *fortune = compose->findChild<QAbstractButton *>("Check1"))
        QVERIFY(!fortune->isChecked());
}

void TestMainform::configuredStartOpensNoSettings()
{
    app::registerAllWindows();
    test::writeFile(folder_->file("pelnix.ini"), "SMTP=127.0.0.1\r\nPOP3=127.0.0.1\r\nMAIL=a@b\r\nAPOP=0\r\n");
    open();
    QWidget *options = Windows::loaded("OptionForm");
    QVERIFY(!options || !options->isVisible());
}

void TestMainform::japaneseStockButtons()
{
    app::prepareApplication(*QCoreApplication::instance());
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("はい")),
             qPrintable(box.button(QMessageBox::Yes)->text()));
    QVERIFY(box.button(QMessageBox::No)->text().contains(QStringLiteral("いいえ")));
}

void TestMainform::picturesHaveTwinsAtTwiceTheSize_data()
{
    QTest::addColumn<QString>("plain");
    const QDir pictures(qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/data/pictures"));
    const QStringList names = pictures.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QVERIFY(names.contains(QStringLiteral("map.png")) && names.contains(QStringLiteral("pilgrim.png")));
    for (const QString &name : names) {
        if (!name.endsWith(QLatin1String("@2x.png")))
            QTest::newRow(qPrintable(name)) << pictures.filePath(name);
    }
}

void TestMainform::picturesHaveTwinsAtTwiceTheSize()
{
    // Every picture has its twin for screens of twice the density, at
    // exactly twice its size (the pilgrim's cells are cut by that measure).
    QFETCH(QString, plain);
    const QString twin = plain.chopped(4) + QStringLiteral("@2x.png");
    const QImage one(plain), two(twin);
    QVERIFY(!one.isNull());
    QVERIFY2(!two.isNull(), qPrintable(twin));
    QCOMPARE(two.size(), one.size() * 2);
}

// A new mail left unsent by the last run is shown again once the main window
// is up; a mailto: link replaces it only when the user says so, and Enter
// keeps it. (Last: the compose windows stay registered for the run.)
void TestMainform::unsentMailReopensAtStart()
{
    compose::registerWindows();
    QVERIFY(compose::saveDraft({QStringLiteral("kept@example.jp"), QStringLiteral("件名"), QString(), QStringLiteral("本文")},
                               nullptr));
    open();
    QTRY_VERIFY(Windows::loaded(QStringLiteral("WriteForm")) && Windows::loaded(QStringLiteral("WriteForm"))->isVisible());
    auto *to = Windows::loaded(QStringLiteral("WriteForm"))->findChild<QLineEdit *>(QStringLiteral("ToText"));
    QCOMPARE(to->text(), QStringLiteral("kept@example.jp"));

    dialogs_->questionAnswers << false;
    app::openArguments({QStringLiteral("mailto:new@example.jp")});
    QCOMPARE(dialogs_->shown.size(), 1);
    QVERIFY(!dialogs_->last().defaultYes);
    QCOMPARE(to->text(), QStringLiteral("kept@example.jp"));
}

QTEST_MAIN(TestMainform)
#include "test_mainform.moc"

