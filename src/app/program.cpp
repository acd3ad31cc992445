#include "program.h"

#include "common/atomicfile.h"

#include "mainform.h"
#include "registry.h"

#include "common/desktopservices.h"
#include "common/dialogs.h"
#include "common/paths.h"
#include "common/ui.h"
#include "common/windows.h"
#include "compose/mailto.h"
#include "transport/nmail.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLockFile>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QThreadPool>
#include <QTimer>

#include <functional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

// The name of the desktop entry and the icon; the build sets it.
#ifndef KORVANE_APP_ID
#define KORVANE_APP_ID "org.korvane.Korvane"
#endif

Q_LOGGING_CATEGORY(lcProgram, "korvane.program", QtWarningMsg)

namespace korvane::app {

void prepareApplication(QCoreApplication &app)
{
    installDesignFonts();
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    // The desktop entry and the icon installed with the program.
    // The icon itself is looked up once the main window has been drawn
    // (startProgram): the theme lookup takes a twentieth of the start-up.
    if (qobject_cast<QGuiApplication *>(&app))
        QGuiApplication::setDesktopFileName(QStringLiteral(KORVANE_APP_ID));
    // No box of the program is handed a paste of nothing, no window of fixed
    // size runs off its screen, and Enter presses the button with the focus.
    if (qobject_cast<QGuiApplication *>(&app)) {
        PasteGuard::install();
        ScreenFit::install();
        EnterPressesButton::install();
    }
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

void afterFirstFrame(QWidget *window, std::function<void()> work)
{
    class Watcher : public QObject {
    public:
        Watcher(QWidget *window, std::function<void()> work) : QObject(window), work_(std::move(work))
        {
            window->installEventFilter(this);
            QTimer::singleShot(2000, this, &Watcher::run);
        }
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                QTimer::singleShot(0, this, &Watcher::run);
            return QObject::eventFilter(watched, event);
        }

    private:
        void run()
        {
            if (!work_)
                return;
            const std::function<void()> work = std::move(work_);
            work_ = nullptr;
            work();
            deleteLater();
        }
        std::function<void()> work_;
    };
    new Watcher(window, std::move(work));
}

namespace {

// On the desktops of X11 and Wayland, Qt's accessibility bridge opens the
// session bus when the first control of the window is made, and the window
// waits for it: a socket, a handshake and, where the session has no bus
// address set, the start of dbus-launch to find one (a tenth of the start).
// The connection is opened on a worker thread meanwhile, while the window is
// built; the bridge then finds it open. The application object waits for the
// worker before it ends.
void openSessionBusMeanwhile()
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("wayland"))
        return;
    QThreadPool::globalInstance()->start([] { QDBusConnection::sessionBus(); });
}

}  // namespace

Mainform *startProgram()
{
    QString error;
    if (!paths::prepareProgramFolder(&error)) {
        qCritical("%s", qPrintable(error));
        dialogs().notice(nullptr, error, ProgramTitle, Dialogs::Icon::Critical);
        return nullptr;
    }
    openSessionBusMeanwhile();
    registerAllWindows();
    auto *main = Windows::get<Mainform>(QStringLiteral("Mainform"));
    if (!main)
        return nullptr;
    main->startUp();
    main->showCentred();
    afterFirstFrame(main, [] {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(KORVANE_APP_ID)));
    });
    return main;
}

}  // namespace korvane::app

namespace korvane::app {

void endProgram()
{
    nmail::NMailEndWinSock();
}

}  // namespace korvane::app

namespace korvane::app {
namespace {

// What a later start sends: a mark, then its arguments. The running copy
// answers one byte once it has taken them.
constexpr quint32 HandOverMark = 0x4B6F7276;  // "Korv"
constexpr qint64 MaxHandOverBytes = 4 * compose::MaxMailtoLength + 4096;
const char HandOverTaken = '1';

}  // namespace

const QString FolderOwner::LockFileName = QStringLiteral("korvane.lock");
const QString FolderOwner::SocketFileName = QStringLiteral("korvane.socket");

FolderOwner::FolderOwner(QObject *parent) : QObject(parent) {}

FolderOwner::~FolderOwner()
{
    server_.reset();
    if (lock_)
        lock_->unlock();
}

QString FolderOwner::serverName(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(
        QFile::encodeName(canonical.isEmpty() ? QDir::cleanPath(folder) : canonical), QCryptographicHash::Sha256);
    QString user = qEnvironmentVariable("USER");
#ifdef Q_OS_UNIX
    user = QString::number(::getuid());
#endif
    const QString name = QStringLiteral("korvane-%1-%2").arg(user, QString::fromLatin1(hash.toHex().left(32)));
    // In the user's own runtime folder where the session has one, so that no
    // other user can take the name first; else in the temporary folder.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(name);
    return name;
}

FolderOwner::Claim FolderOwner::claim(const QString &folder, const QStringList &arguments, QString *error)
{
    name_ = serverName(folder);
    folder_ = folder;
    lock_ = std::make_unique<QLockFile>(QDir(folder).filePath(LockFileName));
    // The running copy may hold the folder for days: its lock never goes
    // stale by age. A lock whose process is gone (a copy killed, a power cut)
    // is stale at once and taken over.
    lock_->setStaleLockTime(0);
    const QDeadlineTimer deadline(HandOverWaitMs);
    for (;;) {
        if (lock_->tryLock(100))
            return Claim::Owner;
        if (lock_->error() != QLockFile::LockFailedError) {
            *error = QStringLiteral("プログラムのフォルダ「%1」にロックファイルを作れないため、起動できません。")
                         .arg(QDir::toNativeSeparators(folder));
            return Claim::Failed;
        }
        // Held: by a copy that runs, or that is still starting and not yet
        // listening.
        switch (handOver(arguments, error)) {
        case HandOver::Taken: return Claim::HandedOver;
        case HandOver::NoModule: return Claim::Failed;
        case HandOver::NoAnswer: break;
        }
        if (deadline.hasExpired()) {
            qint64 pid = 0;
            QString host, app;
            lock_->getLockInfo(&pid, &host, &app);
            *error = QStringLiteral("このフォルダ「%1」では、すでに Korvane が動いていますが（プロセス %2）、"
                                    "応答がありません。\nそのプログラムを終了してから、もう一度起動してください。")
                         .arg(QDir::toNativeSeparators(folder))
                         .arg(pid);
            return Claim::Failed;
        }
    }
}

void FolderOwner::listen()
{
    if (listenTried_ || !lock_)
        return;
    listenTried_ = true;
    QString error;
    desktop::Services *services = desktop::services(&error);
    if (!services) {
        qCWarning(lcProgram, "%s",
                  qPrintable(QStringLiteral("起動の引き継ぎに使う部品を読み込めないため、後からの起動はこのプログラムに"
                                            "届きません。（%1）")
                                 .arg(error)));
        return;
    }
    server_ = services->listenLocal(name_, MaxHandOverBytes, HandOverTaken,
                                    [this](const QByteArray &message) { return take(message); }, &error);
    if (!server_) {
        // The program still runs; only a later start cannot reach it.
        qCWarning(lcProgram, "the local socket %s cannot be opened: %s", qPrintable(name_), qPrintable(error));
        return;
    }
    if (!writeFileAtomically(QDir(folder_).filePath(SocketFileName), server_->fullServerName().toUtf8(), &error,
                             QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        qCWarning(lcProgram, "%s", qPrintable(error));
}

FolderOwner::HandOver FolderOwner::handOver(const QStringList &arguments, QString *error) const
{
    QString reason;
    desktop::Services *services = desktop::services(&reason);
    if (!services) {
        *error = QStringLiteral("このフォルダ「%1」では、すでに Korvane が動いていますが、起動の引き継ぎに使う部品を"
                                "読み込めないため、そのプログラムに渡せません。\n%2")
                     .arg(QDir::toNativeSeparators(folder_), reason);
        return HandOver::NoModule;
    }
    // The name the running copy wrote down, else the one this environment
    // gives.
    QFile written(QDir(folder_).filePath(SocketFileName));
    QStringList names;
    if (written.open(QIODevice::ReadOnly))
        names << QString::fromUtf8(written.read(4096)).trimmed();
    names.removeAll(QString());
    if (!names.contains(name_))
        names << name_;
    QByteArray message;
    {
        QDataStream out(&message, QIODevice::WriteOnly);
        out << HandOverMark << arguments;
    }
    // The running copy answers once it has the arguments: without the
    // answer they may be lost.
    return services->sendLocal(names, message, 1000, 5000) == QByteArray(1, HandOverTaken) ? HandOver::Taken
                                                                                         : HandOver::NoAnswer;
}

bool FolderOwner::take(const QByteArray &message)
{
    QDataStream in(message);
    quint32 mark = 0;
    QStringList arguments;
    in >> mark >> arguments;
    if (mark != HandOverMark || in.status() != QDataStream::Ok)
        return false;
    qCInfo(lcProgram) << "handed over:" << arguments;
    // The later start has its answer before the arguments are acted on,
    // which may ask the user something.
    QMetaObject::invokeMethod(
        this, [this, arguments] { emit handedOver(arguments); }, Qt::QueuedConnection);
    return true;
}

void bringForward(QWidget *window)
{
    if (!window)
        return;
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

void openArguments(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        const std::optional<compose::MailtoLink> link = compose::parseMailto(argument);
        if (!link)
            continue;
        QWidget *compose = Windows::get(QStringLiteral("WriteForm"));
        if (!compose)
            return;
        auto *to = compose->findChild<QLineEdit *>(QStringLiteral("ToText"));
        auto *subject = compose->findChild<QLineEdit *>(QStringLiteral("SubjectText"));
        auto *body = compose->findChild<QPlainTextEdit *>(QStringLiteral("BodyText"));
        if (!to || !subject || !body)
            return;
        // A mail being written (or left from the last run) is replaced only
        // when the user agrees.
        const bool writing = !to->text().isEmpty() || !subject->text().isEmpty() || !body->toPlainText().isEmpty();
        Windows::show(QStringLiteral("WriteForm"));
        // Yes throws what was written away: Enter keeps it.
        if (writing && !dialogs().question(compose, QStringLiteral("作成中のメールを、リンクの宛先・件名・本文で置き換えますか？"),
                                           QuestionTitle, Dialogs::Icon::Question, /*defaultYes=*/false))
            return;
        to->setText(compose::recipientLine(*link));
        subject->setText(link->subject);
        body->setPlainText(link->body);
        qCInfo(lcProgram) << "compose window filled from a mailto: link to" << to->text();
        // One link is one mail.
        return;
    }
}

int runProgram(const QStringList &arguments)
{
    // The folder is chosen and made, then owned, and only then given its
    // first files: a later start that hands over writes nothing into it.
    QString error;
    auto fail = [&error] {
        qCritical("%s", qPrintable(error));
        dialogs().notice(nullptr, error, ProgramTitle, Dialogs::Icon::Critical);
        return 1;
    };
    if (!paths::prepareProgramFolder(&error, paths::Seeding::Later))
        return fail();
    FolderOwner owner;
    switch (owner.claim(paths::programFolder(), arguments, &error)) {
    case FolderOwner::Claim::HandedOver:
        qCInfo(lcProgram, "handed over to the copy running on this folder");
        return 0;
    case FolderOwner::Claim::Failed:
        return fail();
    case FolderOwner::Claim::Owner:
        break;
    }
    if (!paths::seedProgramFolder(&error))
        return fail();
    // Later starts are taken once the window is up: the socket's library
    // stays off the way to the first frame. A box the start shows before the
    // window runs the events, and the socket opens all the same in time for
    // a later start's wait.
    QTimer::singleShot(FolderOwner::HandOverWaitMs / 4, &owner, &FolderOwner::listen);
    Mainform *main = startProgram();
    if (!main)
        return 1;
    afterFirstFrame(main, [&owner] { owner.listen(); });
    QObject::connect(&owner, &FolderOwner::handedOver, main, [main](const QStringList &handed) {
        bringForward(main);
        openArguments(handed);
    });
    openArguments(arguments);
    const int status = QCoreApplication::exec();
    endProgram();
    return status;
}

}  // namespace korvane::app
