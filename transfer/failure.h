// Failure texts of the class's operations: a source line, CR LF, a message.
#pragma once

#include <string>
#include <string_view>

namespace qbx {

inline constexpr std::string_view kCrLf = "\r\n";

// "Quelbarix.dll - " + operation + "()"
inline std::string SourceLine(std::string_view operation) {
  std::string s = "Quelbarix.dll - ";
  s += operation;
  s += "()";
  return s;
}

// Source line, CR LF, message.
inline std::string FailureText(std::string_view operation, std::string_view message) {
  std::string s = SourceLine(operation);
  s += kCrLf;
  s += message;
  return s;
}

}  // namespace qbx
