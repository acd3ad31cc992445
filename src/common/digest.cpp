#include "digest.h"

#include <QCryptographicHash>

#ifdef KORVANE_HAVE_OPENSSL
#include <openssl/evp.h>
#endif

namespace korvane {

QByteArray sha256(QByteArrayView bytes)
{
#ifdef KORVANE_HAVE_OPENSSL
    QByteArray out(32, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), size_t(bytes.size()), reinterpret_cast<unsigned char *>(out.data()), &length,
                   EVP_sha256(), nullptr)
            == 1
        && length == 32)
        return out;
#endif
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

}  // namespace korvane
