#include "suite/decimal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "automation/value.h"

namespace qbx::suite {

namespace {

Exact Power10(int n) {
  Exact p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// n / d for n >= 0, d > 0, halves away from zero.
Exact DivideRounded(Exact n, Exact d) {
  Exact q = n / d;
  if (2 * (n % d) >= d) ++q;
  return q;
}

}  // namespace

Exact ExactAmount(double d) {
  if (!std::isfinite(d) || std::fabs(d) >= 1e20) Raise(kErrOverflow);
  if (d == 0) return 0;
  // "-d.ddde-05": the shortest digits that read back as d.
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  const char* p = buf;
  const bool negative = *p == '-';
  if (negative) ++p;
  int64_t digits = 0;
  int count = 0;
  for (; *p != 'e'; ++p) {
    if (*p == '.') continue;
    digits = digits * 10 + (*p - '0');
    ++count;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exponent);
  // digits * 10^shift units of 10^-12.
  const int shift = exponent - (count - 1) + kExactDecimals;
  Exact units;
  if (shift >= 0) {
    units = digits * Power10(shift);
  } else if (shift < -18) {
    units = 0;  // below half a unit: digits < 10^17
  } else {
    units = DivideRounded(digits, Power10(-shift));
  }
  return negative ? -units : units;
}

Exact RoundedUnits(Exact amount, int decimals) {
  const Exact q = DivideRounded(amount < 0 ? -amount : amount, Power10(kExactDecimals - decimals));
  return amount < 0 ? -q : q;
}

double StockFigure(double d) {
  // Exact: the units stay below 2^53 for any figure under 10^9, and one
  // division by a power of ten is correctly rounded.
  return static_cast<double>(RoundedUnits(ExactAmount(d), kStockDecimals)) / 1e6;
}

}  // namespace qbx::suite
