#include "util/Power.h"

namespace halvex {

double Power(double x, int n)
{
    // The magnitude is taken in 64 bits so INT_MIN does not overflow.
    unsigned long long e =
        n < 0 ? 0ULL - static_cast<unsigned long long>(static_cast<long long>(n)) : static_cast<unsigned long long>(n);
    double result = 1.0;
    double base = x;
    while (e != 0) {
        if (e & 1U)
            result *= base;
        base *= base;
        e >>= 1U;
    }
    return n < 0 ? 1.0 / result : result;
}

}  // namespace halvex
