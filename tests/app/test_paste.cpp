// Pasting with nothing on the clipboard, on a real X server that nobody's
// clipboard is on (tests/app/in_xsession.sh starts one): every editable box
// of every window takes Ctrl+V, Shift+Insert and the middle click and stays
// as it was; the program goes on. A paste of something still arrives.
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"

#include "common/ui.h"
#include "common/windows.h"
#include "mail/historywindow.h"
#include "mail/mailhistory.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

using namespace korvane;

namespace {

QString textOf(QWidget *box)
{
    if (auto *line = qobject_cast<QLineEdit *>(box))
        return line->text();
    if (auto *text = qobject_cast<QTextEdit *>(box))
        return text->toPlainText();
    return static_cast<QPlainTextEdit *>(box)->toPlainText();
}

QList<QWidget *> editableBoxes(QWidget *window)
{
    QList<QWidget *> boxes;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window) || !w->isEnabled())
            continue;
        auto *line = qobject_cast<QLineEdit *>(w);
        auto *text = qobject_cast<QTextEdit *>(w);
        auto *plain = qobject_cast<QPlainTextEdit *>(w);
        if ((line && !line->isReadOnly()) || (text && !text->isReadOnly()) || (plain && !plain->isReadOnly()))
            boxes << w;
    }
    return boxes;
}

QWidget *mouseArea(QWidget *box)
{
    if (auto *area = qobject_cast<QAbstractScrollArea *>(box))
        return area->viewport();
    return box;
}

}  // namespace

class TestPaste : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "runs on an X server");
        QVERIFY2(!clipboardHoldsData(), "nobody owns the clipboard");
        app::registerAllWindows();
    }

    void init()
    {
        folder_ = std::make_unique<test::TestProgramFolder>();
        folder_->installData();
        dialogs_ = std::make_unique<test::ScriptedDialogs>();
        mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("写真"),
                               QStringLiteral("Sat, 06 Dec 2025 07:00:00 +0000"),
                               QStringLiteral("taro.yamada@example.jp"), QStringLiteral("本文"));
    }

    void cleanup()
    {
        Windows::unloadAll();
        dialogs_.reset();
        folder_.reset();
        QGuiApplication::clipboard()->clear();
    }

    void emptyClipboard_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *name : {"Mainform", "WriteForm", "BackForm", "TyakuForm", "FriendForm", "KaoForm",
                                 "SetForm", "OptionForm", "IdPassForm", "KakudaiForm"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void emptyClipboard()
    {
        QFETCH(QString, window);
        QWidget *w = open(window);
        QVERIFY(w);
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->clear(QClipboard::Selection);
        const QList<QWidget *> boxes = editableBoxes(w);
        for (QWidget *box : boxes) {
            const QString before = textOf(box);
            box->setFocus();
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
            QTest::mouseClick(mouseArea(box), Qt::MiddleButton, {}, QPoint(4, 4));
            QCOMPARE(textOf(box), before);
        }
    }

    void pasteOfSomething()
    {
        // The compose body and a line box still take what is on it.
        QWidget *w = open(QStringLiteral("WriteForm"));
        QGuiApplication::clipboard()->setText(QStringLiteral("結願"));
        QTRY_VERIFY_WITH_TIMEOUT(clipboardHoldsData(), 5000);
        const QList<QWidget *> boxes = editableBoxes(w);
        int pasted = 0;
        for (QWidget *box : boxes) {
            if (!qobject_cast<QTextEdit *>(box) && !qobject_cast<QPlainTextEdit *>(box) && pasted)
                continue;
            box->setFocus();
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            QVERIFY2(textOf(box).contains(QStringLiteral("結願")), qPrintable(box->objectName()));
            ++pasted;
        }
        QVERIFY(pasted >= 2);
    }

private:
    QWidget *open(const QString &window)
    {
        QWidget *w = nullptr;
        if (window == QLatin1String("Mainform")) {
            auto *main = Windows::get<app::Mainform>(window);
            main->startUp();
            w = main;
        } else if (window == QLatin1String("TyakuForm")) {
            mail::openHistoryWindow(mail::HistoryKind::Received);
            w = Windows::loaded(window);
        } else if (window == QLatin1String("KakudaiForm")) {
            mail::openHistoryWindow(mail::HistoryKind::Received);
            auto *history = Windows::loaded(QStringLiteral("TyakuForm"));
            QTest::mouseClick(history->findChild<QPushButton *>(QStringLiteral("Command29")), Qt::LeftButton);
            w = Windows::loaded(window);
        } else {
            w = Windows::show(window);
        }
        if (!w)
            return nullptr;
        w->show();
        w->activateWindow();
        if (!QTest::qWaitForWindowExposed(w))
            return nullptr;
        return w;
    }

    std::unique_ptr<test::TestProgramFolder> folder_;
    std::unique_ptr<test::ScriptedDialogs> dialogs_;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app::prepareApplication(app);
    TestPaste test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_paste.moc"
