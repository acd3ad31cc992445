#include "digest.h"

#include <QCryptographicHash>

#ifdef KORVANE_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace korvane {

struct Sha256::State {
#ifdef KORVANE_HAVE_OPENSSL
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    bool ok = context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    ~State() { EVP_MD_CTX_free(context); }
#endif
    // Where OpenSSL is missing or could not be set up.
    QCryptographicHash qt{QCryptographicHash::Sha256};
    // A step failed, or the result was taken.
    bool broken = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::add(QByteArrayView bytes)
{
#ifdef KORVANE_HAVE_OPENSSL
    if (state_->ok) {
        if (EVP_DigestUpdate(state_->context, bytes.data(), size_t(bytes.size())) != 1) {
            state_->ok = false;
            state_->broken = true;
        }
        return;
    }
#endif
    if (!state_->broken)
        state_->qt.addData(bytes);
}

QByteArray Sha256::result()
{
    if (state_->broken)
        return QByteArray();
#ifdef KORVANE_HAVE_OPENSSL
    if (state_->ok) {
        QByteArray out(32, Qt::Uninitialized);
        unsigned int length = 0;
        state_->ok = false;
        state_->broken = true;
        if (EVP_DigestFinal_ex(state_->context, reinterpret_cast<unsigned char *>(out.data()), &length) == 1
            && length == 32)
            return out;
        return QByteArray();
    }
#endif
    state_->broken = true;
    return state_->qt.result();
}

QByteArray sha256(QByteArrayView bytes)
{
    Sha256 digest;
    digest.add(bytes);
    const QByteArray out = digest.result();
    return out.isEmpty() ? QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) : out;
}

}  // namespace korvane
