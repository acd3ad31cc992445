#pragma once
// Sending one message over SMTP with libcurl.
#include "transport_common.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace korvane::nmail::transport {

// Sends `message` (CR LF line ends) from `envelopeFrom` to every recipient.
// AUTH with `user`/`password` when both are set and the server offers it.
// False with a message for the user when anything is refused.
bool sendMessage(const ServerAddress &server, const QString &envelopeFrom, const QStringList &recipients,
                 const QByteArray &message, const QString &user, const QString &password, QString &error);

}  // namespace korvane::nmail::transport
