#pragma once
// Digests of mail bytes.
#include <QByteArray>
#include <QByteArrayView>

namespace korvane {

// The SHA-256 of `bytes` (32 bytes). With OpenSSL it runs on the processor's
// SHA instructions where there are any, several times faster than Qt's own.
QByteArray sha256(QByteArrayView bytes);

}  // namespace korvane
