// The main window: its controls, hints, launchers, clock and start-up.
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"
#include "pilgrimage/maparea.h"

#include "common/ui.h"
#include "common/windows.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
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
    void visibleControls_data();
    void visibleControls();
    void stacking();
    void hiddenFields();
    void hints_data();
    void hints();
    void hintStaysOverCaptions();
    void doubleClickOpensOnce();
    void launchersWithoutWindows();
    void homePageAndMinimise();
    void clock();
    void firstStartOpensServerSettings();
    void configuredStartOpensNoSettings();
    void japaneseStockButtons();

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
    return form_;
}

void TestMainform::windowAndCaption()
{
    open();
    QCOMPARE(form_->windowTitle(), QStringLiteral("Korvane(ハルモ）"));
    QCOMPARE(form_->size(), QSize(twips(7800), twips(4995)));
    QCOMPARE(form_->objectName(), QStringLiteral("Mainform"));
}

void TestMainform::visibleControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twipsGeometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");
    const QString p = QStringLiteral("ＭＳ Ｐゴシック"), g = QStringLiteral("ＭＳ ゴシック"),
                  a = QStringLiteral("Book Antiqua");
    auto row = [](const char *name, int l, int t, int w, int h, const QString &text, const QString &family,
                  double points) {
        QTest::newRow(name) << QString::fromLatin1(name) << QRect(l, t, w, h) << text << family << points;
    };
    row("Label17", 720, 240, 6615, 255, "", p, 9);
    row("Label25", 1680, 840, 615, 255, "", p, 9);
    row("Label22", 3360, 3840, 2895, 255, "", p, 9);
    row("Text7", 4560, 2880, 2295, 1335, "", p, 9);
    row("Text1", 1560, 720, 5325, 3495, "", p, 11.25);
    row("Label2", 120, 840, 1095, 225, "　　新規作成", p, 9);
    row("Label3", 120, 1200, 1095, 225, "　　受     信", p, 9);
    row("Label4", 120, 1600, 1095, 225, "　　着信履歴", p, 9);
    row("Label5", 120, 2000, 1095, 225, "　　送信履歴", p, 9);
    row("Label6", 60, 2380, 1095, 225, "　　アドレス帳", p, 9);
    row("Label10", 60, 2720, 1095, 225, "　　地図表示", p, 9);
    row("Label11", 60, 3080, 1095, 225, "　　案内表示", p, 9);
    row("Label24", 7000, 2000, 855, 195, " リセット", g, 9);
    row("Label23", 6960, 2320, 855, 195, "   貼付", g, 9);
    row("Label20", 6960, 2640, 855, 195, "   設定", g, 9);
    row("Label14", 7020, 2955, 855, 195, "  札所", g, 9);
    row("Label13", 7020, 3260, 735, 195, "  変更", g, 9);
    row("Label7", 7040, 3540, 735, 255, "     HP", a, 9);
    row("Label8", 7000, 3880, 735, 255, "   Small", a, 9);
    row("Image8", 7040, 1900, 765, 360, "", p, 9);
    row("Image7", 7030, 2220, 765, 360, "", p, 9);
    row("Image6", 7020, 2540, 765, 360, "", p, 9);
    row("Image3", 7020, 2860, 765, 360, "", p, 9);
    row("Image4", 7020, 3200, 765, 360, "", p, 9);
    row("Label1", 2880, 4380, 1575, 375, "Korvane", a, 14.25);
    row("Label9", 4920, 4560, 735, 255, "Ver 1.35", a, 9);
    row("Image2", 1560, 720, 5325, 3495, "", p, 9);
    row("Image1", 40, 0, 7710, 4965, "", p, 9);
}

void TestMainform::visibleControls()
{
    QFETCH(QString, name);
    QFETCH(QRect, twipsGeometry);
    QFETCH(QString, text);
    form_ = Windows::get<Mainform>("Mainform");  // before start-up moves anything
    QWidget *w = child(name);
    QCOMPARE(w->geometry(), twipsRect(twipsGeometry.x(), twipsGeometry.y(), twipsGeometry.width(),
                                      twipsGeometry.height()));
    if (auto *label = qobject_cast<QLabel *>(w); label && label->pixmap().isNull())
        QCOMPARE(label->text(), text);
    QTEST(w->font().family(), "family");
    QTEST(w->font().pointSizeF(), "points");
    QCOMPARE(w->font().bold(), name == QLatin1String("Label1"));
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
    const QRect client = form_->rect();
    const struct {
        const char *name;
        const char *caption;
    } fields[] = {{"Text2", nullptr}, {"Text8", nullptr}, {"Text9", nullptr}, {"Text4", nullptr},
                  {"Text6", nullptr}, {"Text5", nullptr}, {"picChara", nullptr},
                  {"Command1", "登録"}, {"Command2", "見る"}, {"Command3", "登録数"},
                  {"Command4", "レジストリ書き込み"}, {"Label16", "札所番号"},
                  {"Label21", "進行の為のカウント"}, {"Label18", "添付ファイルの検索"},
                  {"Label19", "日付、時間取得"}};
    for (const auto &f : fields) {
        QWidget *w = child(QString::fromLatin1(f.name));
        QVERIFY2(!w->isVisible(), f.name);
        QVERIFY2(w->x() >= twips(7995) || w->y() >= twips(5520), f.name);
        QVERIFY2(!client.intersects(w->geometry()), f.name);
        if (f.caption) {
            const QString caption = QString::fromUtf8(f.caption);
            if (auto *b = qobject_cast<QAbstractButton *>(w))
                QCOMPARE(b->text(), caption);
            else
                QCOMPARE(qobject_cast<QLabel *>(w)->text(), caption);
        }
    }
    for (const char *name : {"Text2", "Text8", "Text9", "Text4", "Text6", "Text5"})
        QVERIFY(qobject_cast<QLineEdit *>(child(QString::fromLatin1(name))));
    // The status line is a label other windows write into.
    QVERIFY(qobject_cast<QLabel *>(child("Label17")));
}

void TestMainform::hints_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("hint");
    auto row = [](const char *name, const QString &hint) { QTest::newRow(name) << QString::fromLatin1(name) << hint; };
    row("Label2", "メールを新規作成、送信します。");
    row("Label3", "新着メールの受信を行います。");
    row("Label4", "受信したメールが見られます。");
    row("Label5", "送信したメールが見られます。送信したかな？\u3000と自信のない時はここで確認して下さい。");
    row("Label6", "アドレス帳です。ここに登録しておくと、メールの送信の際に便利です。新規作成のアドレス欄に反映されます。");
    row("Label10", "現在あなたがいる霊場の場所が黄色の球により表示されます。");
    row("Label11", "霊場に関する情報が書かれています。八十八箇所を踏破すると、自分で文章を編集・保存ができるようになります。");
    row("Label13", "八十八箇所を踏破すると使用できるようになります。霊場に関する情報を自由に編集出来るようになります。"
                   "「札所番号」で編集したい札所を呼び出して、編集した後、変更ボタンをクリックして下さい。");
    row("Label14", "八十八箇所を踏破すると使用できるようになります。見たい札所を自由に選択出来ます。霊場の情報を自分で編集する際に必要です。");
    row("Label20", "ID,PASS,サーバーの設定を行います。これを行わないと、通信エラーとなります。");
    row("Label23", "八十八箇所を踏破すると使用できるようになります。「札所番号」で編集したい札所を呼び出して、外部アプリからの文字を貼付けします。");
    row("Label24", "八十八箇所を踏破すると使用できるようになります。巡礼データを１からに戻します。");
    row("Label7", "作者のホームページをブラウザで開きます。");
    row("Label8", "画面を最小化、待機状態にします。");
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

    // Onto the map: hidden, its text kept.
    QTest::mouseMove(form_, child("Image2")->geometry().center() + QPoint(-60, 40));
    QTRY_VERIFY(!box->isVisible());
    QCOMPARE(box->toPlainText(), hint);
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
    QVERIFY(compose);  // loaded hidden at start-up
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
    opened.clear();
    QTest::mouseClick(child("Label7"), Qt::LeftButton, {}, child("Label7")->rect().center());
    QCOMPARE(opened, QList<QUrl>{QUrl(Mainform::HomePage)});

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

    // The compose window is loaded, hidden, with its fortune option off.
    QWidget *compose = Windows::loaded("WriteForm");
    QVERIFY(compose);
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

QTEST_MAIN(TestMainform)
#include "test_mainform.moc"
