#pragma once

namespace halvex {

// x to the power n by repeated squaring; 1 / x^-n for a negative n.
double Power(double x, int n);

}  // namespace halvex
