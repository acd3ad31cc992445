#include "program.h"

#include "common/atomicfile.h"

#include "mainform.h"
#include "registry.h"

#include "common/dialogs.h"
#include "common/paths.h"
#include "common/ui.h"
#include "common/windows.h"
#include "compose/mailto.h"
#include "transport/nmail.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QPlainTextEdit>
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

namespace {

// Runs `work` once `window` has been drawn for the first time (or after a
// while, should no paint ever come, as on a platform without a screen): what
// the first frame does not need keeps off the way to it.
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

}  // namespace

Mainform *startProgram()
{
    QString error;
    if (!paths::prepareProgramFolder(&error)) {
        qCritical("%s", qPrintable(error));
        dialogs().notice(nullptr, error, ProgramTitle, Dialogs::Icon::Critical);
        return nullptr;
    }
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
    if (server_)
        server_->close();
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
        if (lock_->tryLock(100)) {
            listen();
            return Claim::Owner;
        }
        if (lock_->error() != QLockFile::LockFailedError) {
            *error = QStringLiteral("プログラムのフォルダ「%1」にロックファイルを作れないため、起動できません。")
                         .arg(QDir::toNativeSeparators(folder));
            return Claim::Failed;
        }
        // Held: by a copy that runs, or that is still starting and not yet
        // listening.
        if (handOver(arguments))
            return Claim::HandedOver;
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
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &FolderOwner::takeConnection);
    if (!server_->listen(name_)) {
        // A socket left by a copy that was killed: this process holds the
        // lock, so nobody listens there any more.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_)) {
            // The program still runs; only a later start cannot reach it.
            qCWarning(lcProgram, "the local socket %s cannot be opened: %s", qPrintable(name_),
                      qPrintable(server_->errorString()));
            return;
        }
    }
    QString error;
    if (!writeFileAtomically(QDir(folder_).filePath(SocketFileName), server_->fullServerName().toUtf8(), &error,
                             QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        qCWarning(lcProgram, "%s", qPrintable(error));
}

bool FolderOwner::handOver(const QStringList &arguments) const
{
    // The name the running copy wrote down, else the one this environment
    // gives.
    QFile written(QDir(folder_).filePath(SocketFileName));
    QString name = written.open(QIODevice::ReadOnly) ? QString::fromUtf8(written.read(4096)).trimmed() : QString();
    if (name.isEmpty())
        name = name_;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(1000) && name != name_) {
        socket.connectToServer(name_);
        if (!socket.waitForConnected(1000))
            return false;
    } else if (socket.state() != QLocalSocket::ConnectedState) {
        return false;
    }
    QByteArray message;
    {
        QDataStream out(&message, QIODevice::WriteOnly);
        out << HandOverMark << arguments;
    }
    QByteArray framed;
    {
        QDataStream out(&framed, QIODevice::WriteOnly);
        out << quint32(message.size());
    }
    socket.write(framed + message);
    // Wait for the running copy's answer: without it the arguments may be lost.
    QDeadlineTimer deadline(5000);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            break;
    while (socket.bytesAvailable() < 1 && !deadline.hasExpired())
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
    return socket.read(1) == QByteArray(1, HandOverTaken);
}

void FolderOwner::takeConnection()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < 4)
                return;
            quint32 size = 0;
            {
                QDataStream in(socket->peek(4));
                in >> size;
            }
            if (size > MaxHandOverBytes) {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < 4 + qint64(size))
                return;
            socket->read(4);
            QDataStream in(socket->read(size));
            quint32 mark = 0;
            QStringList arguments;
            in >> mark >> arguments;
            if (mark != HandOverMark || in.status() != QDataStream::Ok) {
                socket->abort();
                return;
            }
            socket->write(QByteArray(1, HandOverTaken));
            socket->flush();
            socket->disconnectFromServer();
            qCInfo(lcProgram) << "handed over:" << arguments;
            emit handedOver(arguments);
        });
    }
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
        // A mail being written is replaced only when the user agrees.
        const bool writing = compose->isVisible() &&
                             (!to->text().isEmpty() || !subject->text().isEmpty() || !body->toPlainText().isEmpty());
        Windows::show(QStringLiteral("WriteForm"));
        if (writing && !dialogs().question(compose, QStringLiteral("作成中のメールを、リンクの宛先・件名・本文で置き換えますか？")))
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
    QString error;
    if (!paths::prepareProgramFolder(&error)) {
        qCritical("%s", qPrintable(error));
        dialogs().notice(nullptr, error, ProgramTitle, Dialogs::Icon::Critical);
        return 1;
    }
    FolderOwner owner;
    switch (owner.claim(paths::programFolder(), arguments, &error)) {
    case FolderOwner::Claim::HandedOver:
        qCInfo(lcProgram, "handed over to the copy running on this folder");
        return 0;
    case FolderOwner::Claim::Failed:
        qCritical("%s", qPrintable(error));
        dialogs().notice(nullptr, error, ProgramTitle, Dialogs::Icon::Critical);
        return 1;
    case FolderOwner::Claim::Owner:
        break;
    }
    Mainform *main = startProgram();
    if (!main)
        return 1;
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
