#include "mailservers_support.h"

#include <signal.h>
#include <sys/wait.h>

#include <QProcess>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QThread>

#include <atomic>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvane::test {

MailServers MailServers::fromEnvironment()
{
    const QString dir = qEnvironmentVariable("KORVANE_MAILSERVERS");
    if (dir.isEmpty()) {
        MailServers s;
        s.error_ = QStringLiteral("KORVANE_MAILSERVERS is not set (run the test through ctest, or "
                                  "scripts/mailservers.sh start DIR and set it to DIR)");
        return s;
    }
    return fromFolder(dir);
}

MailServers MailServers::fromFolder(const QString &dir)
{
    MailServers s;
    QFile f(dir + QStringLiteral("/env"));
    if (!f.open(QIODevice::ReadOnly)) {
        s.error_ = QStringLiteral("cannot read %1 (are the mail servers started?)").arg(f.fileName());
        return s;
    }
    QHash<QString, QString> v;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            v.insert(QString::fromUtf8(line.left(eq)).trimmed(), QString::fromUtf8(line.mid(eq + 1)).trimmed());
    }
    s.host = v.value(QStringLiteral("POP3_HOST"), s.host);
    s.host2 = v.value(QStringLiteral("POP3_HOST2"), s.host2);
    s.pop3Port = v.value(QStringLiteral("POP3_PORT")).toInt();
    s.pop3sPort = v.value(QStringLiteral("POP3S_PORT")).toInt();
    s.smtpPort = v.value(QStringLiteral("SMTP_PORT")).toInt();
    s.submissionPort = v.value(QStringLiteral("SUBMISSION_PORT")).toInt();
    s.smtpsPort = v.value(QStringLiteral("SMTPS_PORT")).toInt();
    s.user = v.value(QStringLiteral("MAIL_USER"));
    s.password = v.value(QStringLiteral("MAIL_PASSWORD"));
    s.maildir = v.value(QStringLiteral("MAILDIR"));
    s.smtpSpool = v.value(QStringLiteral("SMTP_SPOOL"));
    s.caFile = v.value(QStringLiteral("CA_FILE"));
    if (!s.pop3Port || !s.pop3sPort || !s.smtpPort || !s.submissionPort || !s.smtpsPort || s.user.isEmpty()
        || s.maildir.isEmpty() || s.smtpSpool.isEmpty())
        s.error_ = QStringLiteral("%1 lacks some server details").arg(f.fileName());
    return s;
}

QString MailServers::pop3Plain() const { return QStringLiteral("%1:%2").arg(host).arg(pop3Port); }
QString MailServers::pop3Stls(bool secondHost) const
{
    return QStringLiteral("pop3://%1:%2").arg(secondHost ? host2 : host).arg(pop3Port);
}
QString MailServers::pop3s() const { return QStringLiteral("pop3s://%1:%2").arg(host).arg(pop3sPort); }
QString MailServers::smtpPlain() const { return QStringLiteral("%1:%2").arg(host).arg(smtpPort); }
QString MailServers::smtpSubmission() const { return QStringLiteral("smtp://%1:%2").arg(host).arg(submissionPort); }
QString MailServers::smtps() const { return QStringLiteral("smtps://%1:%2").arg(host).arg(smtpsPort); }

void MailServers::trustCa() const
{
    qputenv("KORVANE_CA_FILE", QFile::encodeName(caFile));
}

bool MailServers::deliver(const QByteArray &message) const
{
    // Unique names in delivery order: dovecot lists new mail sorted by name.
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("%1.M%2P%3Q%4R%5.korvane")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(QDateTime::currentMSecsSinceEpoch() % 1000 * 1000, 6, 10, QLatin1Char('0'))
                             .arg(QCoreApplication::applicationPid())
                             .arg(++serial, 6, 10, QLatin1Char('0'))
                             .arg(QRandomGenerator::global()->generate() & 0xffff, 4, 16, QLatin1Char('0'));
    const QString work = maildir + QStringLiteral("/tmp/") + name;
    QFile f(work);
    if (!f.open(QIODevice::WriteOnly) || f.write(message) != message.size()) {
        f.remove();
        return false;
    }
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return QFile::rename(work, maildir + QStringLiteral("/new/") + name);
}

void MailServers::emptyMaildir() const
{
    // dovecot-uidlist stays, so the next mails get new UIDLs.
    for (const char *sub : {"new", "cur", "tmp"}) {
        QDir d(maildir + QLatin1Char('/') + QLatin1String(sub));
        for (const QString &f : d.entryList(QDir::Files | QDir::Hidden))
            d.remove(f);
    }
}

int MailServers::maildirCount() const
{
    int n = 0;
    for (const char *sub : {"new", "cur"})
        n += QDir(maildir + QLatin1Char('/') + QLatin1String(sub)).entryList(QDir::Files).size();
    return n;
}

QList<SpooledMail> MailServers::spooled() const
{
    QList<SpooledMail> mails;
    QDir d(smtpSpool);
    const QStringList names = d.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        SpooledMail m;
        QFile eml(d.filePath(name));
        if (eml.open(QIODevice::ReadOnly))
            m.content = eml.readAll();
        QFile env(d.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".env")));
        if (env.open(QIODevice::ReadOnly)) {
            for (const QByteArray &raw : env.readAll().split('\n')) {
                const QString line = QString::fromUtf8(raw);
                const QString key = line.section(QLatin1Char(' '), 0, 0);
                const QString value = line.section(QLatin1Char(' '), 1);
                if (key == QLatin1String("from"))
                    m.envelopeFrom = value;
                else if (key == QLatin1String("to"))
                    m.recipients << value;
                else if (key == QLatin1String("auth"))
                    m.authUser = value;
                else if (key == QLatin1String("listener"))
                    m.listener = value;
                else if (key == QLatin1String("tls"))
                    m.tls = value == QLatin1String("yes");
            }
        }
        mails << m;
    }
    return mails;
}

QList<SpooledMail> MailServers::waitForSpooled(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QList<SpooledMail> mails = spooled();
        if (mails.size() >= count || deadline.hasExpired())
            return mails;
        QThread::msleep(10);
    }
}

void MailServers::emptySpool() const
{
    QDir d(smtpSpool);
    for (const QString &f : d.entryList(QDir::Files | QDir::Hidden))
        d.remove(f);
}

int MailServers::unusedPort()
{
    // Port 1 (reserved, closed on any test machine) when no socket can be made.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 1;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

MisbehavingPop3::MisbehavingPop3(const QList<QByteArray> &mails, const QStringList &options)
{
    dir_ = QDir::temp().filePath(QStringLiteral("korvane-pop3-%1-%2")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(QRandomGenerator::global()->generate()));
    QDir().mkpath(dir_ + QStringLiteral("/box"));
    for (qsizetype i = 0; i < mails.size(); ++i) {
        QFile f(dir_ + QStringLiteral("/box/%1.eml").arg(i + 1, 4, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write(mails[i]);
    }
    start(options);
}

MisbehavingPop3::~MisbehavingPop3()
{
    stop();
    QDir(dir_).removeRecursively();
}

bool MisbehavingPop3::start(const QStringList &options)
{
    const QString portFile = dir_ + QStringLiteral("/port");
    QFile::remove(portFile);
    const QString script = qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/tests/support/pop3_misbehaving.py");
    QStringList args{script, dir_ + QStringLiteral("/box"), portFile};
    args += options;
    if (!QProcess::startDetached(QStringLiteral("/usr/bin/python3"), args, QString(), &pid_))
        return false;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QFile f(portFile);
        if (f.open(QIODevice::ReadOnly)) {
            port_ = f.readAll().trimmed().toInt();
            return port_ > 0;
        }
        QThread::msleep(20);
    }
    return false;
}

void MisbehavingPop3::stop()
{
    if (pid_ > 0) {
        ::kill(pid_t(pid_), SIGKILL);
        ::waitpid(pid_t(pid_), nullptr, 0);
    }
    pid_ = 0;
    port_ = 0;
}

bool MisbehavingPop3::restart(const QStringList &options)
{
    stop();
    return start(options);
}

QString MisbehavingPop3::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QStringList MisbehavingPop3::commands() const
{
    QFile f(dir_ + QStringLiteral("/commands.log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

int MisbehavingPop3::mailboxCount() const
{
    return int(QDir(dir_ + QStringLiteral("/box")).entryList(QDir::Files).size());
}

}  // namespace korvane::test
