#include "DVstUtils.h"

#include <cmath>

double roundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    double f = std::floor(x);
    double d = x - f;  // exact for |x| < 2^52; larger values are integers already
    if (d > 0.5) return f + 1.0;
    if (d < 0.5) return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}
