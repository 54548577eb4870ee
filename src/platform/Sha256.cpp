#include "platform/Sha256.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <stdexcept>

namespace tarnwick {

void Sha256::Free::operator()(evp_md_ctx_st* ctx) const {
    EVP_MD_CTX_free(ctx);
}

namespace {

// libcrypto frees its tables at exit; a hash on a worker abandoned by a watchdog may still run then
// (a share that answers again while the app quits), so they are kept for the whole process.
EVP_MD_CTX* newContext() {
    static const bool initialised = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
    Q_UNUSED(initialised);
    return EVP_MD_CTX_new();
}

} // namespace

Sha256::Sha256() : m_ctx(newContext()) {
    if (!m_ctx || EVP_DigestInit_ex(m_ctx.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::Sha256(const Sha256& other) : m_ctx(newContext()) {
    if (!m_ctx || EVP_MD_CTX_copy_ex(m_ctx.get(), other.m_ctx.get()) != 1)
        throw std::runtime_error("SHA-256 state cannot be copied");
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t length) {
    if (length > 0)
        EVP_DigestUpdate(m_ctx.get(), data, length);
}

QByteArray Sha256::finish() {
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_ctx.get(), reinterpret_cast<unsigned char*>(digest.data()), &length);
    digest.truncate(int(length));
    return digest;
}

QString Sha256::hexString(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex());
}

} // namespace tarnwick
