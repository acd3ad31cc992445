#pragma once
// The program's start: what main() does, shared with the start-up benchmark.
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QCoreApplication;
class QLockFile;
class QWidget;

namespace korvane::desktop {
class LocalServer;
}

namespace korvane::app {

class Mainform;

// Names the application and loads Qt's Japanese translation, so that the
// stock buttons read はい, いいえ, キャンセル.
void prepareApplication(QCoreApplication &app);
// Prepares the program folder (a message and nothing more when it cannot be
// made), registers every window, loads the main window, runs its start-up and shows
// it centred on the screen.
Mainform *startProgram();
// The end of the program, once its event loop has stopped: ends the mail
// transport.
void endProgram();

// The whole life of the program as main() runs it: prepares the program
// folder, takes it for this process (or hands `arguments` to the copy that
// already runs on it and ends with 0), starts the program, opens what the
// arguments ask for and runs the event loop. Returns the exit code.
int runProgram(const QStringList &arguments);

// One program folder has one running program: two copies would take in the
// same mails and remove each other's files. The first start holds a lock file
// in the folder and listens on a local socket named after the folder; a later
// start finds the lock held, hands its arguments over that socket to the
// running copy and ends. A lock left by a copy that was killed is found stale
// (its process is gone) and taken over.
class FolderOwner : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Owner,       // this process holds the folder
        HandedOver,  // the running copy took the arguments; this one ends
        Failed,      // neither: the reason is in *error
    };

    // The lock file's name in the program folder.
    static const QString LockFileName;
    // Beside the lock: the full name of the socket the running copy listens
    // on, so that a start with another environment (no runtime folder, or
    // another one) still finds it.
    static const QString SocketFileName;
    // How long a start waits for the running copy to answer.
    static constexpr int HandOverWaitMs = 10000;

    explicit FolderOwner(QObject *parent = nullptr);
    ~FolderOwner() override;

    // Takes the folder (the lock alone) or hands `arguments` to its owner.
    Claim claim(const QString &folder, const QStringList &arguments, QString *error);
    // The owner opens its socket for later starts. Without it (the socket
    // cannot be made, or its module cannot be loaded) the program runs all
    // the same; only a later start cannot reach it, and a warning says so.
    void listen();

    // The local socket's name for a program folder: one per folder and user,
    // from the hash of the folder's canonical path; a path in
    // $XDG_RUNTIME_DIR where that folder exists.
    static QString serverName(const QString &folder);

signals:
    // A later start handed over its arguments.
    void handedOver(const QStringList &arguments);

private:
    enum class HandOver { Taken, NoAnswer, NoModule };
    HandOver handOver(const QStringList &arguments, QString *error) const;
    bool take(const QByteArray &message);

    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<desktop::LocalServer> server_;
    bool listenTried_ = false;
    QString name_;
    QString folder_;
};

// What the program does with its arguments, at its start or handed over by
// a later start: a mailto: link opens the compose window filled from it;
// every other argument is ignored, as the program takes none.
void openArguments(const QStringList &arguments);

// Runs `work` once `window` has been drawn for the first time (or after a
// while, should no paint ever come, as on a platform without a screen): what
// the first frame does not need keeps off the way to it. Nothing runs when
// the window is gone before then.
void afterFirstFrame(QWidget *window, std::function<void()> work);

// Brings the main window forward (out of the task bar when minimised).
void bringForward(QWidget *window);

}  // namespace korvane::app
