#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <memory>

struct evp_md_ctx_st;

namespace tarnwick {

// Incremental SHA-256 through libcrypto (uses the processor's SHA instructions).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    // A copy carries on from the same state: one prefix hashed once, then two different endings.
    Sha256(const Sha256& other);
    Sha256& operator=(const Sha256&) = delete;
    Sha256(Sha256&&) noexcept = default;
    Sha256& operator=(Sha256&&) noexcept = default;

    void update(const void* data, std::size_t length);
    // The 32-byte digest; the object must not be used afterwards.
    QByteArray finish();

    // Two lower-case hexadecimal digits per byte.
    static QString hexString(const QByteArray& digest);

private:
    struct Free {
        void operator()(evp_md_ctx_st* ctx) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> m_ctx;
};

} // namespace tarnwick
