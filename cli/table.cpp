#include "cli/table.h"

#include <algorithm>

#include "cli/i18n.h"

namespace qbx::cli {

std::string CellText(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
    case Variant::Type::Missing:
      return "";
    case Variant::Type::Double:
    case Variant::Type::Integer:
    case Variant::Type::Long:
      return NumberText(v.ToDouble());
    case Variant::Type::Date:
      // The zero date (1899-12-30) and earlier stand for "no date".
      return v.ToDate().serial() <= 0 ? "" : v.ToDate().ToIsoText();
    case Variant::Type::Boolean:
      return v.ToBool() ? "True" : "False";
    case Variant::Type::String:
      return v.ToString();
    case Variant::Type::Record:
      return "<record>";
  }
  return "";
}

nlohmann::json CellJson(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Double:
      return v.ToDouble();
    case Variant::Type::Integer:
    case Variant::Type::Long:
      return v.ToLong();
    case Variant::Type::Boolean:
      return v.ToBool();
    case Variant::Type::Empty:
    case Variant::Type::Null:
    case Variant::Type::Missing:
      return nullptr;
    case Variant::Type::Date:
      if (v.ToDate().serial() <= 0) return nullptr;
      return CellText(v);
    default:
      return CellText(v);
  }
}

nlohmann::json TableJson(const Table& table) {
  nlohmann::json rows = nlohmann::json::array();
  for (const auto& row : table.rows) {
    nlohmann::json object = nlohmann::json::object();
    for (size_t c = 0; c < table.columns.size(); ++c) object[table.columns[c]] = CellJson(row[c]);
    rows.push_back(std::move(object));
  }
  return rows;
}

namespace {

bool IsNumber(const Variant& v) {
  return v.type() == Variant::Type::Double || v.type() == Variant::Type::Long ||
         v.type() == Variant::Type::Integer;
}

}  // namespace

void PrintTable(std::ostream& out, const Table& table, const std::vector<Column>& columns,
                std::string_view indent) {
  if (table.empty()) {
    out << indent << _("(none)\n");
    return;
  }
  struct Shown {
    int index;
    std::string label;
    size_t width;
    bool numeric;
  };
  std::vector<Shown> shown;
  for (const Column& c : columns) {
    const int i = table.Find(c.name);
    if (i < 0) continue;
    const std::string label = _(c.label);
    shown.push_back({i, label, Utf16Length(label), true});
  }
  std::vector<std::vector<std::string>> cells;
  for (const auto& row : table.rows) {
    std::vector<std::string> line;
    for (Shown& s : shown) {
      const Variant& v = row[static_cast<size_t>(s.index)];
      line.push_back(CellText(v));
      s.width = std::max(s.width, Utf16Length(line.back()));
      if (!IsNumber(v) && !v.IsNull()) s.numeric = false;
    }
    cells.push_back(std::move(line));
  }
  auto pad = [](const std::string& text, size_t width, bool right) {
    const size_t n = Utf16Length(text);
    const std::string fill(width > n ? width - n : 0, ' ');
    return right ? fill + text : text + fill;
  };
  auto print_line = [&](const std::vector<std::string>& line) {
    std::string text(indent);
    for (size_t i = 0; i < shown.size(); ++i) {
      if (i) text += "  ";
      text += pad(line[i], shown[i].width, shown[i].numeric);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  std::vector<std::string> labels;
  for (const Shown& s : shown) labels.push_back(s.label);
  print_line(labels);
  for (const auto& line : cells) print_line(line);
}

}  // namespace qbx::cli
