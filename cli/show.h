// What the database holds about one transfer, as `quelbarix show` prints it.
#pragma once

#include <string>

namespace qbx::cli {

// "request", "shipment" or "reception" for SL, EN and RC.
std::string TypeName(const std::string& type);

}  // namespace qbx::cli
