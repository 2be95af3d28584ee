#include "suite/dialect.h"

#include "suite/database.h"

namespace qbx::suite {

std::string Dialect::Expand(std::string_view text) const {
  std::string out;
  out.reserve(text.size() + 32);
  size_t from = 0;
  for (size_t open = text.find('{'); open != std::string_view::npos;
       open = text.find('{', from)) {
    const size_t close = text.find('}', open);
    if (close == std::string_view::npos)
      RaiseSuiteError("Falta '}' en la sentencia: " + std::string(text));
    const std::string_view name = text.substr(open + 1, close - open - 1);
    out.append(text.substr(from, open - from));
    if (name == "now")
      out.append(now_);
    else if (name == "today")
      out.append(today_);
    else if (name == "binary")
      out.append(binary_);
    else
      RaiseSuiteError("Pieza desconocida {" + std::string(name) +
                      "} en la sentencia: " + std::string(text));
    from = close + 1;
  }
  out.append(text.substr(from));
  return out;
}

const std::string& DialectSql::For(const Dialect& dialect) const {
  if (dialect.index() >= kMaxDialects)
    RaiseSuiteError("Dialecto sin lugar: " + std::to_string(dialect.index()));
  Built& built = built_[dialect.index()];
  std::call_once(built.once, [&] { built.text = dialect.Expand(text_); });
  return built.text;
}

}  // namespace qbx::suite
