// The targets the benchmark holds the cases to: rates, their floors, growth
// with the document, the plan checks (no statement sent per line scans or
// grows) and peak memory. Each is printed as met or missed.
#pragma once

#include <vector>

#include "bench/measure.h"
#include "bench/options.h"

namespace qbx::bench {

// Prints every target's verdict; returns how many were missed.
int PrintTargets(const std::vector<Row>& rows, const std::vector<DoublesRow>& doubles,
                 const std::vector<Engine>& engines);

}  // namespace qbx::bench
