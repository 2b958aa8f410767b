#include "net/HXDigest.h"

#include <stdexcept>

#include <openssl/evp.h>

namespace hx
{

std::string EncodeBase32(std::string_view bytes)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string encoded;
    encoded.reserve((bytes.size() + 4) / 5 * 8);
    std::uint64_t buffer = 0;
    int bits = 0;
    for (const char c : bytes)
    {
        buffer = (buffer << 8) | static_cast<unsigned char>(c);
        bits += 8;
        while (bits >= 5)
        {
            encoded.push_back(kAlphabet[(buffer >> (bits - 5)) & 0x1F]);
            bits -= 5;
        }
    }
    if (bits > 0)
        encoded.push_back(kAlphabet[(buffer << (5 - bits)) & 0x1F]);
    while (encoded.size() % 8 != 0)
        encoded.push_back('=');
    return encoded;
}

struct TSha1::TContext
{
    struct TFree
    {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, TFree> Context{EVP_MD_CTX_new()};
};

TSha1::TSha1()
    : m_context(std::make_unique<TContext>())
{
    if (!m_context->Context)
        throw std::bad_alloc();
    Reset();
}

TSha1::~TSha1() = default;
TSha1::TSha1(TSha1&&) noexcept = default;
TSha1& TSha1::operator=(TSha1&&) noexcept = default;

void TSha1::Reset()
{
    if (EVP_DigestInit_ex(m_context->Context.get(), EVP_sha1(), nullptr) != 1)
        throw std::runtime_error("SHA-1 is not available");
}

void TSha1::Update(std::string_view bytes)
{
    if (!bytes.empty())
        EVP_DigestUpdate(m_context->Context.get(), bytes.data(), bytes.size());
}

std::string TSha1::Finish()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->Context.get(), digest, &length);
    Reset();
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string TSha1::FinishLabelled()
{
    return "sha1:" + EncodeBase32(Finish());
}

std::string TSha1::Labelled(std::string_view bytes)
{
    TSha1 sha1;
    sha1.Update(bytes);
    return sha1.FinishLabelled();
}

} // namespace hx
