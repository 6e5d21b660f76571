#include "update/Sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>
#include <vector>

#include "update/UpdateMessageKeys.h"
#include "util/IgnoreResult.h"

namespace halvex {

Result<std::string> FileSha256(const std::filesystem::path& file)
{
    using Digest = Result<std::string>;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Digest::FailErrno(kDownloadErrorKey, file, errno);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
    int readError = 0;
    std::vector<unsigned char> buffer(std::size_t{256} * 1024);
    while (ok) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            readError = errno;
            ok = false;
        }
        if (got <= 0)
            break;
        ok = EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got)) == 1;
    }
    IgnoreResult(::close(fd), "read only: nothing to flush");
    if (readError != 0)
        return Digest::FailErrno(kDownloadErrorKey, file, readError);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return Digest::Fail(kDownloadErrorKey, file.string() + ": the digest could not be computed");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0xf];
    }
    return Digest::Ok(std::move(text));
}

bool SameDigest(const std::string& text, const std::string& digest)
{
    if (text.size() != 64 || digest.size() != 64)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isxdigit(c) || std::tolower(c) != std::tolower(static_cast<unsigned char>(digest[i])))
            return false;
    }
    return true;
}

}  // namespace halvex
