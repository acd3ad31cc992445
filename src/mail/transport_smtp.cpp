#include "transport_smtp.h"

#include <QSysInfo>
#include <QUrl>

#include <cstring>

namespace korvane::nmail::transport {

namespace {

struct Upload {
    const QByteArray *data;
    qsizetype offset = 0;
};

size_t readUpload(char *buffer, size_t size, size_t count, void *userp)
{
    auto *u = static_cast<Upload *>(userp);
    const size_t n = qMin(size * count, size_t(u->data->size() - u->offset));
    memcpy(buffer, u->data->constData() + u->offset, n);
    u->offset += qsizetype(n);
    return n;
}

}  // namespace

bool sendMessage(const ServerAddress &server, const QString &envelopeFrom, const QStringList &recipients,
                 const QByteArray &message, const QString &user, const QString &password, QString &error)
{
    CURL *curl = curl_easy_init();
    if (!curl) {
        error = QStringLiteral("通信の準備ができません。");
        return false;
    }
    ReplyLog log;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    applyCommonOptions(curl, server);
    attachReplyLog(curl, &log);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // The URL's path is the name the client greets with (EHLO).
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    const QByteArray url = server.url + QUrl::toPercentEncoding(host);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());

    const QByteArray from = '<' + envelopeFrom.toUtf8() + '>';
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_slist *rcpt = nullptr;
    for (const QString &r : recipients)
        rcpt = curl_slist_append(rcpt, ('<' + r.toUtf8() + '>').constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);

    const QByteArray userBytes = user.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    if (!user.isEmpty() && !password.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, userBytes.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, passwordBytes.constData());
    }

    Upload upload{&message};
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));

    const CURLcode rc = curl_easy_perform(curl);
    if (rc != CURLE_OK)
        error = describeFailure(rc, errorBuffer, log, server, Protocol::Smtp);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK;
}

}  // namespace korvane::nmail::transport
