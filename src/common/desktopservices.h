#pragma once
// What the program asks of the desktop only now and then: the keyring, the
// printer and the local socket through which a later start reaches the
// running copy. Their libraries (QtKeychain, Qt's printing and network
// modules) are heavy to load and not needed for the first window, so they
// live in a module of their own, korvane_desktop, loaded at the first call
// of services().
//
// The module is looked for in the folder named by KORVANE_MODULE_DIR when set,
// beside the executable (a build), then in the installed library folder
// relative to the executable.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFont;
class QPrinter;
class QWidget;

namespace korvane::desktop {

// Raised whenever the interface below changes: a module of another version is
// not used.
inline constexpr int InterfaceVersion = 1;

// The module's file name and the name of its factory.
inline constexpr char ModuleFileName[] = "korvane_desktop.so";
inline constexpr char FactoryName[] = "korvane_desktop_services";

// How one call to the keyring ended.
enum class KeyringResult {
    Done,      // read, written or deleted
    NotFound,  // the keyring holds no such entry
    Failed,    // the keyring answered with another error
    NoAnswer,  // the keyring did not answer in time
};

// A listening local socket; closed when deleted.
class LocalServer {
public:
    virtual ~LocalServer() = default;
    // The full name clients connect to (a path on Unix).
    virtual QString fullServerName() const = 0;
};

class Services {
public:
    virtual ~Services() = default;

    // The keyring (the Secret Service), entries of `service` named by `key`.
    // Each call waits at most `timeoutMs` for the keyring, dispatching events
    // other than user input meanwhile.
    virtual KeyringResult readPassword(const QString &service, const QString &key, QString *password,
                                       int timeoutMs) = 0;
    virtual KeyringResult writePassword(const QString &service, const QString &key, const QString &password,
                                        int timeoutMs) = 0;
    virtual KeyringResult deletePassword(const QString &service, const QString &key, int timeoutMs) = 0;

    // The printer dialog for `printer`; true when the user chose to print.
    virtual bool showPrintDialog(QWidget *parent, QPrinter *printer) = 0;
    // Prints `text` in the font's family, size, bold and italic, `copies`
    // times, each copy as a document of its own. Returns the number of
    // documents printed.
    virtual int printTextCopies(QPrinter &printer, const QString &text, const QFont &font, int copies) = 0;
    // Prints plain text on a printer that `choose` sets up (the printer
    // dialog; false cancels), as many copies as chosen there. The printer's
    // page range starts as the selection when `selection`. Returns the number
    // of documents printed, -1 when cancelled.
    virtual int printText(const QString &text, const QFont &font, bool selection,
                          const std::function<bool(QPrinter *)> &choose) = 0;

    // Listens on the local socket `name`, for the user alone; a socket left
    // behind under that name is removed and listened on again. Every client
    // sends one message framed by its size (a big-endian 32-bit count);
    // `take` gets it and, when it returns true, the client gets `answer` back.
    // A frame larger than `maxBytes` or refused by `take` drops the client.
    // Null when nothing listens; the reason is in *error.
    virtual std::unique_ptr<LocalServer> listenLocal(const QString &name, qint64 maxBytes, char answer,
                                                     std::function<bool(const QByteArray &)> take,
                                                     QString *error) = 0;
    // Sends `message`, framed as above, to the first of `names` that accepts
    // a connection within `connectMs`, and waits in all at most `answerMs`
    // for the one byte of its answer. Empty when nobody took the message.
    virtual QByteArray sendLocal(const QStringList &names, const QByteArray &message, int connectMs,
                                 int answerMs) = 0;
};

// The module's services, loaded at the first call from any thread; null when
// the module cannot be loaded, with the reason in *error (the same on every
// later call).
Services *services(QString *error = nullptr);

}  // namespace korvane::desktop

// The module's factory: the services for the interface version asked for,
// null for another version. The services live as long as the process.
extern "C" korvane::desktop::Services *korvane_desktop_services(int interfaceVersion);
