#pragma once
// Sending one message over SMTP with libcurl.
#include "transport_common.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace korvane::nmail::transport {

// How a send ended.
enum class SendResult {
    Accepted,   // the server took the mail
    Refused,    // it did not: nothing was delivered
    Uncertain,  // the whole mail went out, but the server's answer to it never
                // came: the server may have the mail
};

// Sends `message` (CR LF line ends) from `envelopeFrom` to every recipient.
// AUTH with `user`/`password` when both are set and the server offers it.
// Every reply is awaited timeoutSeconds(), except the one to the end of the
// mail, which a busy server may send as late as RFC 5321 allows (ten minutes,
// finalReplySeconds()). A message for the user unless accepted.
SendResult sendMessage(const ServerAddress &server, const QString &envelopeFrom, const QStringList &recipients,
                       const QByteArray &message, const QString &user, const QString &password, QString &error);

// The wait for the answer to the end of the mail (600 seconds unless a test sets it).
int finalReplySeconds();
void setFinalReplySeconds(int seconds);

// The send running now, and any started before clearStopSending(), gives up
// within a second: the user stopped it.
void stopSending();
void clearStopSending();

}  // namespace korvane::nmail::transport
