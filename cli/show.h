// What the database holds about one transfer, as `quelbarix show` and the
// demo print it.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "cli/table.h"
#include "suite/reports.h"

namespace qbx::cli {

// Everything held about one transfer (suite/reports.h).
using TransferReport = suite::TransferRecord;

std::string TypeName(const std::string& type);
nlohmann::json ReportJson(const TransferReport& report);
void PrintReport(std::ostream& out, const TransferReport& report);

}  // namespace qbx::cli
