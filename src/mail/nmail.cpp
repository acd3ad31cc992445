// The transport's global state and the functions not yet wired to a protocol.
#include <gmime/gmime.h>
#include <curl/curl.h>

#include "nmail.h"

#include <mutex>

namespace korvane::nmail {

namespace {
std::mutex initMutex;
int initCount = 0;
}  // namespace

void NMailInitializeWinSock()
{
    std::lock_guard lock(initMutex);
    if (initCount++ > 0)
        return;
    curl_global_init(CURL_GLOBAL_ALL);
    g_mime_init();
}

void NMailEndWinSock()
{
    std::lock_guard lock(initMutex);
    if (initCount == 0 || --initCount > 0)
        return;
    g_mime_shutdown();
    curl_global_cleanup();
}

void NMailSetOption(int, int) {}

int NMailPop3Connect(const QString &) { return -1; }
int NMailPop3Authenticate(int, const QString &, const QString &, bool) { return -1; }
int NMailPop3GetMailStatus(int, int, MailTexts &) { return -1; }
qint64 NMailPop3GetMailSize(int, int) { return -1; }
int NMailPop3GetMail(int, int, MailTexts &) { return -1; }
QByteArray NMailPop3GetRawMail(int) { return {}; }
QString NMailPop3GetUidl(int, int) { return {}; }
int NMailPop3DeleteMail(int, int) { return -1; }
int NMailPop3Close(int) { return -1; }
int NMailAttachmentFileFirst(MailTexts &, const QString &, const QString &, const QByteArray &) { return 1; }
void NMailAttachmentFileClose() {}
QString NMailGetMessage() { return {}; }
int NMailSmtpSendMail(const QString &, const QString &, const QString &, const QString &, const QString &,
                      const QString &)
{
    return -1;
}

}  // namespace korvane::nmail
