#pragma once
// Digests of mail bytes.
#include <QByteArray>
#include <QByteArrayView>

#include <memory>

namespace korvane {

// The SHA-256 of `bytes` (32 bytes). With OpenSSL it runs on the processor's
// SHA instructions where there are any, several times faster than Qt's own.
QByteArray sha256(QByteArrayView bytes);

// The same of bytes given piece by piece, as they come.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;
    void add(QByteArrayView bytes);
    // The digest of everything added (32 bytes), or nothing when it could
    // not be taken; the object is used up.
    QByteArray result();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace korvane
