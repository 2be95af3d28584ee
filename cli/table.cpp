#include "cli/table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

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

void AppendJsonText(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendJsonCell(std::string& out, const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Double: {
      const double d = v.ToDouble();
      if (!std::isfinite(d)) {
        out += "null";  // JSON has no infinities
        break;
      }
      char buffer[32];
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
      out.append(buffer, end);
      break;
    }
    case Variant::Type::Integer:
    case Variant::Type::Long:
      out += std::to_string(v.ToLong());
      break;
    case Variant::Type::Boolean:
      out += v.ToBool() ? "true" : "false";
      break;
    case Variant::Type::Empty:
    case Variant::Type::Null:
    case Variant::Type::Missing:
      out += "null";
      break;
    case Variant::Type::Date:
      if (v.ToDate().serial() <= 0) {
        out += "null";
        break;
      }
      AppendJsonText(out, CellText(v));
      break;
    default:
      AppendJsonText(out, CellText(v));
  }
}

JsonRows::JsonRows(std::ostream& out, std::string indent) : out_(out), indent_(std::move(indent)) {
  out_ << '[';
}

void JsonRows::Columns(const std::vector<std::string>& names) {
  keys_.clear();
  for (const std::string& name : names) {
    std::string key;
    AppendJsonText(key, name);
    keys_.push_back(key + ':');
  }
}

void JsonRows::Row(const std::vector<Variant>& values) {
  line_.assign(any_ ? ",\n" : "\n");
  line_ += indent_;
  line_ += '{';
  for (size_t c = 0; c < keys_.size() && c < values.size(); ++c) {
    if (c) line_ += ',';
    line_ += keys_[c];
    AppendJsonCell(line_, values[c]);
  }
  line_ += '}';
  out_ << line_;
  any_ = true;
}

void JsonRows::Close() {
  // The closing bracket one space out from the rows.
  if (any_) out_ << '\n' << std::string_view(indent_).substr(indent_.empty() ? 0 : 1);
  out_ << ']';
}

void WriteJsonRows(std::ostream& out, const Table& table) {
  JsonRows rows(out, " ");
  rows.Columns(table.columns);
  for (const auto& row : table.rows) rows.Row(row);
  rows.Close();
  out << '\n';
}

namespace {

bool IsNumber(const Variant& v) {
  return v.type() == Variant::Type::Double || v.type() == Variant::Type::Long ||
         v.type() == Variant::Type::Integer;
}

// Finds the shown columns among a result's and sizes them (first pass), or
// prints each row under them (second pass).
class TextTable final : public RowStream {
 public:
  TextTable(std::ostream& out, const std::vector<Column>& columns, std::string_view indent)
      : out_(out), wanted_(columns), indent_(indent) {}

  void Columns(const std::vector<std::string>& names) override {
    if (sized_) return;
    const Table header{names, {}};
    for (const Column& c : wanted_) {
      const int i = header.Find(c.name);
      if (i < 0) continue;
      std::string label = _(c.label);
      const size_t width = Utf16Length(label);
      shown_.push_back({static_cast<size_t>(i), std::move(label), width, true});
    }
  }

  void Row(const std::vector<Variant>& values) override {
    if (!sized_) {
      ++rows_;
      for (Shown& s : shown_) {
        const Variant& v = values[s.index];
        s.width = std::max(s.width, Utf16Length(CellText(v)));
        if (!IsNumber(v) && !v.IsNull()) s.numeric = false;
      }
      return;
    }
    cells_.clear();
    for (const Shown& s : shown_) cells_.push_back(CellText(values[s.index]));
    PrintLine(cells_);
  }

  // Ends the sizing pass: prints the labels, or "(none)"; false when there
  // is nothing more to print.
  bool Sized() {
    sized_ = true;
    if (rows_ == 0) {
      out_ << indent_ << _("(none)\n");
      return false;
    }
    for (const Shown& s : shown_) cells_.emplace_back(s.label);
    PrintLine(cells_);
    return true;
  }

 private:
  struct Shown {
    size_t index;
    std::string label;  // translated
    size_t width;
    bool numeric;
  };

  void PrintLine(const std::vector<std::string>& line) {
    text_.assign(indent_);
    for (size_t i = 0; i < shown_.size(); ++i) {
      if (i) text_ += "  ";
      const size_t n = Utf16Length(line[i]);
      const size_t fill = shown_[i].width > n ? shown_[i].width - n : 0;
      if (shown_[i].numeric) text_.append(fill, ' ');
      text_ += line[i];
      if (!shown_[i].numeric) text_.append(fill, ' ');
    }
    while (!text_.empty() && text_.back() == ' ') text_.pop_back();
    text_ += '\n';
    out_ << text_;
  }

  std::ostream& out_;
  const std::vector<Column>& wanted_;
  std::string_view indent_;
  std::vector<Shown> shown_;
  size_t rows_ = 0;
  bool sized_ = false;
  std::vector<std::string> cells_;
  std::string text_;
};

}  // namespace

void PrintTable(std::ostream& out, const RowSource& read, const std::vector<Column>& columns,
                std::string_view indent) {
  TextTable table(out, columns, indent);
  read(table);
  if (table.Sized()) read(table);
}

void PrintTable(std::ostream& out, const Table& table, const std::vector<Column>& columns,
                std::string_view indent) {
  PrintTable(
      out,
      [&table](RowStream& to) {
        to.Columns(table.columns);
        for (const auto& row : table.rows) to.Row(row);
      },
      columns, indent);
}

}  // namespace qbx::cli
