// Pasting with nothing on the clipboard, on a real X server where nobody
// owns the clipboard (in_xsession.sh starts one): every editable box of every
// window takes Ctrl+V, Shift+Insert and the middle click and stays as it was.
// A paste of something still arrives.
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"
#include "common/ui.h"
#include "common/windows.h"
#include "history/historywindow.h"
#include "history/mailhistory.h"
#include "scripteddialogs.h"
#include "testenv.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTest>

using namespace korvane;

class TestPaste : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb") && !clipboardHoldsData(),
                 "runs on an X server where nobody owns the clipboard");
        app::registerAllWindows();
    }

    void everyBox_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *name : {"Mainform", "WriteForm", "BackForm", "TyakuForm", "FriendForm", "KaoForm",
                                 "SetForm", "OptionForm", "IdPassForm", "KakudaiForm"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void everyBox()
    {
        QFETCH(QString, window);
        test::TestProgramFolder folder;
        folder.installData();
        test::ScriptedDialogs dialogs;
        mail::appendMailRecord(mail::HistoryKind::Received, "s", "Sat, 06 Dec 2025 07:00:00 +0000", "a@example.jp", "b");
        QWidget *w = Windows::show(window);
        if (window == QLatin1String("TyakuForm") || window == QLatin1String("KakudaiForm")) {
            mail::openHistoryWindow(mail::HistoryKind::Received);
            QTest::mouseClick(Windows::loaded("TyakuForm")->findChild<QPushButton *>("Command29"), Qt::LeftButton);
            w = Windows::loaded(window);
        }
        QVERIFY(w && QTest::qWaitForWindowExposed(w));
        // A paste of something arrives (in the compose window's boxes).
        for (bool full : {false, window == QLatin1String("WriteForm")}) {
            if (full)
                QGuiApplication::clipboard()->setText(QStringLiteral("結願"));
            else
                QGuiApplication::clipboard()->clear();
            QTRY_COMPARE_WITH_TIMEOUT(clipboardHoldsData(), full, 5000);
            for (QWidget *box : w->findChildren<QWidget *>()) {
                const bool line = box->inherits("QLineEdit");
                if (!(line || box->inherits("QTextEdit") || box->inherits("QPlainTextEdit"))
                    || box->property("readOnly").toBool() || !box->isVisibleTo(w) || !box->isEnabled())
                    continue;
                auto textOf = [&] { return box->property(line ? "text" : "plainText").toString(); };
                const QString before = textOf();
                box->setFocus();
                QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
                if (full) {
                    QVERIFY2(textOf().contains(QStringLiteral("結願")), qPrintable(box->objectName()));
                    continue;
                }
                QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
                auto *area = qobject_cast<QAbstractScrollArea *>(box);
                QTest::mouseClick(area ? area->viewport() : box, Qt::MiddleButton, {}, QPoint(4, 4));
                QCOMPARE(textOf(), before);
            }
        }
        Windows::unloadAll();
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app::prepareApplication(app);
    TestPaste test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_paste.moc"
