// SHA-256 of a text, as 64 lower-case hex digits: tells one request from
// another under the same retry key.
#pragma once

#include <string>
#include <string_view>

namespace qbx::cli {

std::string Sha256Hex(std::string_view data);

}  // namespace qbx::cli
