// The program without its window on screen, for tests that kill it in the
// middle of a mail check: starts like the program on a given program folder,
// clicks the receive label once and ends when the check is done.
//
//   mailcheck_probe PROGRAM_FOLDER [--pace-ms N] [--close-after-ms N]
//
// The per-user settings store is redirected into PROGRAM_FOLDER/.settings (as
// the tests do). --pace-ms makes each mail take at least N ms longer (a
// pause before it is counted), so that a test can kill the probe while the
// check is surely running. --close-after-ms closes the main window N ms
// after the start, as a user closing the program in the middle of a check.
#include "app/mainform.h"
#include "app/program.h"
#include "app/registry.h"
#include "common/paths.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mailcheck/mailcheck.h"
#include "mailcheck/mailcheck_windows.h"
#include "transport/nmail.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>

#include <cstdio>

using namespace korvane;

namespace {

class PacedView : public mail::WindowsMailCheckView {
public:
    explicit PacedView(int ms) : ms_(ms) {}
    void progressStep() override
    {
        pauseWithEvents(ms_);
        WindowsMailCheckView::progressStep();
    }

private:
    int ms_;
};

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: mailcheck_probe PROGRAM_FOLDER [--pace-ms N]\n");
        return 2;
    }
    const QString folder = args[1];
    const qsizetype pace = args.indexOf(QStringLiteral("--pace-ms"));
    const int paceMs = pace > 0 && pace + 1 < args.size() ? args[pace + 1].toInt() : 0;
    const qsizetype close = args.indexOf(QStringLiteral("--close-after-ms"));
    const int closeMs = close > 0 && close + 1 < args.size() ? args[close + 1].toInt() : -1;

    app::prepareApplication(application);
    paths::setProgramFolder(folder);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder + "/.settings");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder + "/.settings");

    app::Mainform *form = app::startProgram();
    if (!form)
        return 3;
    int exitCode = 0;
    if (closeMs >= 0)
        QTimer::singleShot(closeMs, form, [form] { form->close(); });
    QTimer::singleShot(0, [&] {
        if (paceMs > 0) {
            PacedView view(paceMs);
            mail::MailCheckResult r = mail::runMailCheck(&view);
            exitCode = r.stopped ? 1 : 0;
        } else if (auto *label = form->findChild<ClickLabel *>(QStringLiteral("Label3"))) {
            emit label->clicked();
        } else {
            exitCode = 4;
        }
        QCoreApplication::exit(exitCode);
    });
    const int rc = application.exec();
    Windows::unloadAll();
    nmail::NMailEndWinSock();
    return rc;
}
