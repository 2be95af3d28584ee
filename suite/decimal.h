// Exact decimal amounts for the suite's money and stock figures. A Double
// read from the database stands for the decimal its shortest round-trip text
// shows (0.1, not 0.1000000000000000055...); summing those decimals exactly
// and rounding once keeps totals from drifting by a cent or leaving 1E-15
// where 0 is meant.
#pragma once

#include <cstdint>

namespace qbx::suite {

// A decimal amount in units of 10^-12 (amounts up to 10^20 fit).
__extension__ typedef __int128 Exact;
inline constexpr int kExactDecimals = 12;

// The amount a Double stands for, to 12 decimals (halves away from zero).
// Not finite or 10^20 and beyond: error 6.
Exact ExactAmount(double d);
// The amount rounded to `decimals` places (0..12), halves away from zero, as a
// whole number of those places' units (1.005 to 2 places is 101).
Exact RoundedUnits(Exact amount, int decimals);

// Stock quantities and average costs are kept to this many decimals.
inline constexpr int kStockDecimals = 6;
// A stock figure as it is stored: rounded to kStockDecimals.
double StockFigure(double d);

}  // namespace qbx::suite
