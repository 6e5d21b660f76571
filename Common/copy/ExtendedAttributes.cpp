#include "copy/ExtendedAttributes.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace halvex {

namespace {

// The kernel's own limit for one value; a larger answer is a damaged file system.
constexpr std::size_t kMaximumValueSize = 65536;
constexpr std::size_t kMaximumListSize = 65536;

bool IsUnsupported(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// The calls differ only in how they name the file; these carry one of the two.
struct AttributeAccess {
    std::function<ssize_t(char*, std::size_t)> list;
    std::function<ssize_t(const char*, void*, std::size_t)> get;
};

// Reads a size-then-fill answer, retrying when the value grew in between.
template <typename Call>
int ReadSized(Call call, std::size_t limit, std::vector<char>& out)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return errno;
        if (static_cast<std::size_t>(size) > limit)
            return E2BIG;
        out.resize(static_cast<std::size_t>(size));
        if (size == 0)
            return 0;
        const ssize_t got = call(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE)
            return errno;
    }
    return ERANGE;
}

int CopyAll(const AttributeAccess& source, const std::function<int(const char*, const void*, std::size_t)>& set)
{
    std::vector<char> names;
    if (int error = ReadSized(source.list, kMaximumListSize, names)) {
        return IsUnsupported(error) ? 0 : error;
    }
    const bool privileged = geteuid() == 0;
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        if (name.empty() || !IsCopiedAttribute(name, privileged))
            continue;
        const int readError =
            ReadSized([&](char* buffer, std::size_t size) { return source.get(name.c_str(), buffer, size); },
                      kMaximumValueSize, value);
        if (readError == ENODATA)
            continue;  // removed while we were copying
        if (readError)
            return readError;
        if (set(name.c_str(), value.data(), value.size()) != 0) {
            const int error = errno;
            // The destination keeps no attributes, or none of this kind
            // (ACLs on a volume mounted without them).
            if (IsUnsupported(error))
                continue;
            return error;
        }
    }
    return 0;
}

}  // namespace

bool IsCopiedAttribute(std::string_view name, bool privileged)
{
    if (name.starts_with("user."))
        return true;
    if (name == "system.posix_acl_access" || name == "system.posix_acl_default")
        return true;
    if (name.starts_with("trusted.") || name.starts_with("security."))
        return privileged;
    return false;
}

int CopyExtendedAttributes(int sourceFd, int destinationFd)
{
    AttributeAccess source{
        [sourceFd](char* list, std::size_t size) { return flistxattr(sourceFd, list, size); },
        [sourceFd](const char* name, void* value, std::size_t size) { return fgetxattr(sourceFd, name, value, size); }};
    return CopyAll(source, [destinationFd](const char* name, const void* value, std::size_t size) {
        return fsetxattr(destinationFd, name, value, size, 0);
    });
}

int CopyLinkAttributes(const std::filesystem::path& sourcePath, const std::filesystem::path& destinationPath)
{
    const std::string from = sourcePath.string();
    const std::string to = destinationPath.string();
    AttributeAccess source{[&from](char* list, std::size_t size) { return llistxattr(from.c_str(), list, size); },
                           [&from](const char* name, void* value, std::size_t size) {
                               return lgetxattr(from.c_str(), name, value, size);
                           }};
    return CopyAll(source, [&to](const char* name, const void* value, std::size_t size) {
        const int result = lsetxattr(to.c_str(), name, value, size, 0);
        // The kernel refuses user.* on a link itself (EPERM); that is the
        // link's nature, not a failed copy.
        if (result != 0 && errno == EPERM && std::string_view(name).starts_with("user."))
            return 0;
        return result;
    });
}

}  // namespace halvex
