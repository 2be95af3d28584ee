// The benchmark's printed results: the cases, the table of the suite's runs
// against their floors, the spread of the repeats and the component on
// do-nothing services.
#pragma once

#include <string>
#include <vector>

#include "bench/cases.h"
#include "bench/measure.h"
#include "bench/options.h"

namespace qbx::bench {

// v with the given decimals; with thousands separated by commas.
std::string Fixed(double v, int decimals);
std::string Thousands(double v);

// The measured row of a case, size, mode and backend, if it ran.
const Row* Find(const std::vector<Row>& rows, Engine engine, Kind kind, int lines, Mode mode);

// The selected cases, each with what it does.
void PrintCases(const Options& o);
void PrintSuiteTable(const std::vector<Row>& rows, int repeat);
// Every timed run and floor replay (with two repeats or more).
void PrintSpread(const std::vector<Row>& rows, int repeat);
void PrintDoublesTable(const std::vector<DoublesRow>& doubles);

}  // namespace qbx::bench
