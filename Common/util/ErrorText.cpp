#include "util/ErrorText.h"

#include <cstring>

namespace halvex {

std::string ErrorText(int error)
{
    return "Error " + std::to_string(error) + ": " + std::strerror(error);
}

std::string ErrnoText(int error)
{
    return std::strerror(error);
}

}  // namespace halvex
