// OpenSSL's libcrypto, opened at the first digest rather than at start (see
// lazylib.h). Every libcrypto function the program calls is here.
#if defined(KORVANE_LAZY_LIBS) && defined(KORVANE_HAVE_OPENSSL)

#include <openssl/evp.h>

#include "lazylib.h"

namespace {
const korvane::lazylib::Library crypto(KORVANE_CRYPTO_SONAME);
}

KORVANE_LAZY_FUNCTION_0(crypto, EVP_sha256)
KORVANE_LAZY_FUNCTION_0(crypto, EVP_MD_CTX_new)
KORVANE_LAZY_FUNCTION_1(crypto, EVP_MD_CTX_free)
KORVANE_LAZY_FUNCTION_3(crypto, EVP_DigestInit_ex)
KORVANE_LAZY_FUNCTION_3(crypto, EVP_DigestUpdate)
KORVANE_LAZY_FUNCTION_3(crypto, EVP_DigestFinal_ex)

#endif
