// The module korvane_desktop: the keyring (QtKeychain), printing (Qt Print
// Support) and the local socket (Qt Network), loaded by the program at their
// first use so that their libraries stay out of its start.
#include "common/desktopservices.h"

#include <qt6keychain/keychain.h>

#include <QDataStream>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFont>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace korvane::desktop {
namespace {

// Runs a keyring job to its end or to the deadline, whichever comes first;
// `done` sees the job when it ended in time. A job left behind at the
// deadline deletes itself when it ends, and nothing here hears of it.
KeyringResult runJob(QKeychain::Job *job, int timeoutMs, const std::function<void(QKeychain::Job *)> &done = nullptr)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *ended) {
        finished = true;
        error = ended->error();
        if (done)
            done(ended);
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished)
        return KeyringResult::NoAnswer;
    switch (error) {
    case QKeychain::NoError: return KeyringResult::Done;
    case QKeychain::EntryNotFound: return KeyringResult::NotFound;
    default: return KeyringResult::Failed;
    }
}

class Server final : public LocalServer {
public:
    Server(qint64 maxBytes, char answer, std::function<bool(const QByteArray &)> take)
        : maxBytes_(maxBytes), answer_(answer), take_(std::move(take))
    {
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] { takeConnections(); });
    }
    ~Server() override { server_.close(); }

    bool listen(const QString &name, QString *error)
    {
        if (server_.listen(name))
            return true;
        // A socket left by a copy that was killed: the caller holds the
        // folder, so nobody listens there any more.
        QLocalServer::removeServer(name);
        if (server_.listen(name))
            return true;
        *error = server_.errorString();
        return false;
    }

    QString fullServerName() const override { return server_.fullServerName(); }

private:
    void takeConnections()
    {
        while (QLocalSocket *socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { read(socket); });
        }
    }

    void read(QLocalSocket *socket)
    {
        if (socket->bytesAvailable() < 4)
            return;
        quint32 size = 0;
        {
            QDataStream in(socket->peek(4));
            in >> size;
        }
        if (size > maxBytes_) {
            socket->abort();
            return;
        }
        if (socket->bytesAvailable() < 4 + qint64(size))
            return;
        socket->read(4);
        if (!take_(socket->read(size))) {
            socket->abort();
            return;
        }
        socket->write(QByteArray(1, answer_));
        socket->flush();
        socket->disconnectFromServer();
    }

    QLocalServer server_;
    qint64 maxBytes_;
    char answer_;
    std::function<bool(const QByteArray &)> take_;
};

class DesktopServices final : public Services {
public:
    KeyringResult readPassword(const QString &service, const QString &key, QString *password,
                               int timeoutMs) override
    {
        auto *job = new QKeychain::ReadPasswordJob(service);
        job->setKey(key);
        return runJob(job, timeoutMs, [password](QKeychain::Job *ended) {
            *password = static_cast<QKeychain::ReadPasswordJob *>(ended)->textData();
        });
    }

    KeyringResult writePassword(const QString &service, const QString &key, const QString &password,
                                int timeoutMs) override
    {
        auto *job = new QKeychain::WritePasswordJob(service);
        job->setKey(key);
        job->setTextData(password);
        return runJob(job, timeoutMs);
    }

    KeyringResult deletePassword(const QString &service, const QString &key, int timeoutMs) override
    {
        auto *job = new QKeychain::DeletePasswordJob(service);
        job->setKey(key);
        return runJob(job, timeoutMs);
    }

    bool showPrintDialog(QWidget *parent, QPrinter *printer) override
    {
        QPrintDialog dialog(printer, parent);
        if (printer->printRange() == QPrinter::Selection)
            dialog.setOption(QAbstractPrintDialog::PrintSelection);
        return dialog.exec() == QDialog::Accepted;
    }

    int printTextCopies(QPrinter &printer, const QString &text, const QFont &font, int copies) override
    {
        QFont printFont(font.family());
        if (font.pointSizeF() > 0)
            printFont.setPointSizeF(font.pointSizeF());
        printFont.setBold(font.bold());
        printFont.setItalic(font.italic());

        QTextDocument document;
        document.setDefaultFont(printFont);
        document.setPlainText(text);

        // The dialog's copy count is done here, one document per copy; the
        // printer must not multiply each of them again.
        printer.setCopyCount(1);
        int printed = 0;
        for (int i = 0; i < copies; ++i) {
            document.print(&printer);
            if (printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
                break;
            ++printed;
        }
        return printed;
    }

    int printText(const QString &text, const QFont &font, bool selection,
                  const std::function<bool(QPrinter *)> &choose) override
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPrintRange(selection ? QPrinter::Selection : QPrinter::AllPages);
        if (!choose(&printer))
            return -1;
        return printTextCopies(printer, text, font, std::max(1, printer.copyCount()));
    }

    std::unique_ptr<LocalServer> listenLocal(const QString &name, qint64 maxBytes, char answer,
                                             std::function<bool(const QByteArray &)> take, QString *error) override
    {
        auto server = std::make_unique<Server>(maxBytes, answer, std::move(take));
        if (!server->listen(name, error))
            return nullptr;
        return server;
    }

    QByteArray sendLocal(const QStringList &names, const QByteArray &message, int connectMs, int answerMs) override
    {
        QLocalSocket socket;
        bool connected = false;
        for (const QString &name : names) {
            socket.connectToServer(name);
            if (socket.waitForConnected(connectMs)) {
                connected = true;
                break;
            }
            socket.abort();
        }
        if (!connected)
            return QByteArray();
        QByteArray framed;
        {
            QDataStream out(&framed, QIODevice::WriteOnly);
            out << quint32(message.size());
        }
        socket.write(framed + message);
        // Wait for the answer: without it the message may be lost.
        QDeadlineTimer deadline(answerMs);
        while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
            if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
                break;
        while (socket.bytesAvailable() < 1 && !deadline.hasExpired())
            if (!socket.waitForReadyRead(int(deadline.remainingTime())))
                break;
        return socket.read(1);
    }
};

}  // namespace
}  // namespace korvane::desktop

extern "C" Q_DECL_EXPORT korvane::desktop::Services *korvane_desktop_services(int interfaceVersion)
{
    if (interfaceVersion != korvane::desktop::InterfaceVersion)
        return nullptr;
    static korvane::desktop::DesktopServices services;
    return &services;
}
