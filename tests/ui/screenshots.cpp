// Pictures of every window of the program for the user's guide, taken on a
// real X display (scripts/make_screenshots.sh starts one with a window
// manager, so the pictures show the title bars as a user sees them).
//
//   korvane_screenshots <output folder> [data folder]
//
// The program runs in a temporary program folder with the shipped data, a
// received and a sent mail and two addresses.
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"

#include "addressbook/addressbook.h"
#include "common/dialogs.h"
#include "common/paths.h"
#include "common/windows.h"
#include "history/historywindow.h"
#include "history/mailhistory.h"
#include "settings/settings.h"
#include "texttools/kakudaiform.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QEnterEvent>
#include <QEventLoop>
#include <QFile>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

using namespace korvane;

namespace {

QString outFolder;

void settle(int ms = 400)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window with its frame and title bar, as the screen shows it.
void shoot(QWidget *w, const QString &name, const QRect &extra = QRect())
{
    w->raise();
    w->activateWindow();
    settle();
    QRect area = w->frameGeometry();
    if (!extra.isNull())
        area = area.united(extra);
    QPixmap picture = w->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = outFolder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!picture.save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

QWidget *showAt(const QString &window, QPoint where)
{
    QWidget *w = Windows::show(window);
    if (w) {
        w->move(where);
        w->show();
        settle();
    }
    return w;
}

void click(QWidget *window, const char *control)
{
    if (auto *b = window->findChild<QAbstractButton *>(QString::fromLatin1(control)))
        b->click();
    settle(200);
}

void hover(QWidget *control)
{
    const QPointF centre = QPointF(control->rect().center());
    QEnterEvent enter(centre, control->mapTo(control->window(), centre), control->mapToGlobal(centre));
    QCoreApplication::sendEvent(control, &enter);
    settle(200);
}

void installData(const QString &source, const QString &target)
{
    QDirIterator it(source, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = target + QLatin1Char('/') + QDir(source).relativeFilePath(from);
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::copy(from, to);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app::prepareApplication(app);
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvane_screenshots <output folder> [data folder]\n");
        return 2;
    }
    outFolder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outFolder);
    QTemporaryDir program;
    const QString data = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                  : QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    installData(data, program.path());
    paths::setProgramFolder(program.path());

    settings::serverSettings() = {};
    settings::serverSettings().smtpServer = QStringLiteral("smtp.example.jp");
    settings::serverSettings().pop3Server = QStringLiteral("pop.example.jp");
    settings::serverSettings().mailAddress = QStringLiteral("hanako.shikoku@example.jp");
    settings::saveServerSettings();
    mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("お遍路の写真を送ります"),
                           QStringLiteral("Sat, 06 Dec 2025 07:00:00 +0000"), QStringLiteral("taro.yamada@example.jp"),
                           QStringLiteral("先日はありがとうございました。\r\n歩き遍路の写真を添付します。\r\n\r\n"
                                          "♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪"));
    mail::appendMailRecord(mail::HistoryKind::Received, QStringLiteral("次の札所について"),
                           QStringLiteral("Sun, 07 Dec 2025 09:30:00 +0900"), QStringLiteral("jiro.suzuki@example.jp"),
                           QStringLiteral("次は十一番藤井寺ですね。"));
    mail::appendMailRecord(mail::HistoryKind::Sent, QStringLiteral("Re:  お遍路の写真を送ります"),
                           QStringLiteral("2025/12/06  16:05:09"), QStringLiteral("taro.yamada@example.jp"),
                           QStringLiteral("写真、届きました。ありがとうございます。"));
    addressbook::addRecord(QStringLiteral("山田太郎"), QStringLiteral("taro.yamada@example.jp"));
    addressbook::addRecord(QStringLiteral("鈴木次郎"), QStringLiteral("jiro.suzuki.long.address@mail.example.jp"));

    app::registerAllWindows();
    auto *main = app::startProgram();
    if (!main)
        return 1;
    main->move(40, 40);
    settle(800);
    shoot(main, QStringLiteral("main"));
    if (auto *launcher = main->findChild<QWidget *>(QStringLiteral("Label13"))) {
        hover(launcher);
        shoot(main, QStringLiteral("main-hint"));
    }

    // The history window on the received mail, a row picked.
    mail::openHistoryWindow(mail::HistoryKind::Received);
    QWidget *history = Windows::loaded(QStringLiteral("TyakuForm"));
    history->move(40, 40);
    settle();
    if (auto *list = history->findChild<QTreeView *>(QStringLiteral("MailListView"))) {
        list->setCurrentIndex(list->model()->index(0, 0));
        settle();
    }
    shoot(history, QStringLiteral("history-received"));

    click(history, "Command29");
    if (QWidget *view = Windows::loaded(QStringLiteral("KakudaiForm"))) {
        view->move(80, 60);
        auto *form = static_cast<texttools::KakudaiForm *>(view);
        while (form->fontSize() < 18)
            form->sizeUp();
        shoot(view, QStringLiteral("enlarged"));
        view->close();
    }

    click(history, "Command5");
    if (QWidget *reply = Windows::loaded(QStringLiteral("BackForm"))) {
        reply->move(60, 40);
        shoot(reply, QStringLiteral("reply"));
        reply->hide();
    }

    mail::openHistoryWindow(mail::HistoryKind::Sent);
    shoot(history, QStringLiteral("history-sent"));
    history->hide();

    // The compose window with its address list, on bulk sending.
    if (QWidget *compose = showAt(QStringLiteral("WriteForm"), QPoint(40, 40))) {
        shoot(compose, QStringLiteral("compose"));
        click(compose, "Command4");
        if (auto *bulk = compose->findChild<QRadioButton *>(QStringLiteral("Option2")))
            bulk->click();
        settle();
        shoot(compose, QStringLiteral("compose-addresses"));
        if (auto *greetings = compose->findChild<QComboBox *>(QStringLiteral("Combo1"))) {
            greetings->showPopup();
            settle();
            QWidget *popup = greetings->view()->window();
            shoot(compose, QStringLiteral("compose-greetings"), popup->frameGeometry());
            greetings->hidePopup();
        }
        click(compose, "Command8");
        if (QWidget *palette = Windows::loaded(QStringLiteral("KaoForm"))) {
            palette->move(60, 60);
            shoot(palette, QStringLiteral("palette"));
            if (auto *pages = palette->findChild<QTabWidget *>()) {
                for (int i = 0; i < pages->count(); ++i) {
                    if (pages->tabText(i).startsWith(QStringLiteral("衣料")))
                        pages->setCurrentIndex(i);
                }
                shoot(palette, QStringLiteral("palette-clothes"));
            }
            palette->hide();
        }
        compose->hide();
    }

    if (QWidget *book = showAt(QStringLiteral("FriendForm"), QPoint(40, 40))) {
        shoot(book, QStringLiteral("addressbook"));
        book->hide();
    }
    if (QWidget *launcher = showAt(QStringLiteral("SetForm"), QPoint(40, 40))) {
        shoot(launcher, QStringLiteral("settings"));
        launcher->hide();
    }
    if (QWidget *w = showAt(QStringLiteral("OptionForm"), QPoint(40, 40))) {
        shoot(w, QStringLiteral("settings-server"));
        w->hide();
    }
    if (QWidget *w = showAt(QStringLiteral("IdPassForm"), QPoint(40, 40))) {
        shoot(w, QStringLiteral("settings-idpass"));
        w->hide();
    }
    if (QWidget *w = showAt(QStringLiteral("ReceiveOptionsForm"), QPoint(40, 40))) {
        shoot(w, QStringLiteral("settings-receive"));
        w->hide();
    }

    auto box = Dialogs::messageBox(main, QStringLiteral("データが選択されていません"), ProgramTitle,
                                   Dialogs::Icon::None, QMessageBox::Ok);
    box->show();
    box->move(100, 100);
    shoot(box.get(), QStringLiteral("messagebox"));
    box.reset();  // before the main window, its parent

    Windows::unloadAll();
    return 0;
}
