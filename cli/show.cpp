// quelbarix show FOLIO: everything the database holds about one transfer,
// written part by part as it is read (a document may have many thousand
// lines).
#include "cli/show.h"

#include <iostream>
#include <optional>
#include <vector>

#include "cli/commands.h"
#include "cli/session.h"
#include "cli/table.h"
#include "suite/reports.h"

namespace qbx::cli {

std::string TypeName(const std::string& type) {
  if (type == "SL") return "request";
  if (type == "EN") return "shipment";
  if (type == "RC") return "reception";
  return "type " + type;
}

namespace {

using suite::RecordPart;

// Adds the tool's column `stock` to each movement: what it did to stock; a
// cancelled one no longer counts either way.
class WithStockEffect final : public RowStream {
 public:
  explicit WithStockEffect(RowStream& to) : to_(to) {}
  void Columns(const std::vector<std::string>& names) override {
    const Table header{names, {}};
    state_ = header.Find("Es_Cve_Estado");
    applied_ = header.Find("Mv_Aplicado");
    std::vector<std::string> extended = names;
    extended.push_back("stock");
    to_.Columns(extended);
  }
  void Row(const std::vector<Variant>& values) override {
    row_.assign(values.begin(), values.end());
    row_.emplace_back(Effect(values));
    to_.Row(row_);
  }

 private:
  std::string Effect(const std::vector<Variant>& values) const {
    if (state_ >= 0 && CellText(values[static_cast<size_t>(state_)]) == "CA") return "cancelled";
    if (applied_ < 0) return "pending";
    const Variant& applied = values[static_cast<size_t>(applied_)];
    return !applied.IsNull() && applied.ToLong() != 0 ? "applied" : "pending";
  }

  RowStream& to_;
  int state_ = -1, applied_ = -1;
  std::vector<Variant> row_;
};

// What show reads: the first line (the header's fields) and the rest by part.
class Record {
 public:
  Record(suite::Database& db, const std::string& typed)
      : db_(db), head_(suite::ReadRecordRows(db, RecordPart::FirstLine, typed)) {
    if (head_.empty()) return;
    // The folio as stored: the lookup may match what the person typed in
    // another case.
    folio_ = CellText(head_.At(0, "Tr_Folio"));
    if (folio_.empty()) folio_ = typed;
    finalised_at_ = suite::FinalisedAt(db, folio_);
    transport_ = suite::TransportDocumentsOf(db, folio_);
  }

  bool exists() const { return !head_.empty(); }
  const std::string& folio() const { return folio_; }
  const Table& head() const { return head_; }
  std::string At(std::string_view column) const { return CellText(head_.At(0, column)); }
  const std::optional<std::string>& finalised_at() const { return finalised_at_; }
  const std::vector<std::string>& transport() const { return transport_; }

  // Reads a part of the transfer (`key` empty) or of a transport document.
  RowSource Part(RecordPart part, const std::string& key = "") const {
    return [this, part, key](RowStream& to) {
      const std::string& k = key.empty() ? folio_ : key;
      if (part != RecordPart::Movements) return suite::ReadRecordPart(db_, part, k, to);
      WithStockEffect effect(to);
      suite::ReadRecordPart(db_, part, k, effect);
    };
  }

 private:
  suite::Database& db_;
  Table head_;
  std::string folio_;
  std::optional<std::string> finalised_at_;
  std::vector<std::string> transport_;
};

// One member of the JSON object: its key, then its rows as they are read.
void JsonPart(std::ostream& out, std::string_view key, const RowSource& read,
              const std::string& indent) {
  std::string text;
  AppendJsonText(text, key);
  out << text << ':';
  JsonRows rows(out, indent + " ");
  read(rows);
  rows.Close();
}

void WriteJson(std::ostream& out, const Record& r) {
  std::string head = "{\"Tr_Folio\":";
  AppendJsonText(head, r.folio());
  for (const char* column : {"Tr_Tipo", "Es_Cve_Estado"}) {
    head += ",";
    AppendJsonText(head, column);
    head += ':';
    AppendJsonCell(head, r.head().At(0, column));
  }
  head += ",\"finalised\":";
  head += r.finalised_at() ? "true" : "false";
  head += ",\"finalised_at\":";
  if (r.finalised_at()) {
    AppendJsonText(head, *r.finalised_at());
  } else {
    head += "null";
  }
  out << head << ",\n ";
  JsonPart(out, "lines", r.Part(RecordPart::Lines), " ");
  out << ",\n ";
  JsonPart(out, "referred_by", r.Part(RecordPart::ReferredBy), " ");
  out << ",\n ";
  JsonPart(out, "movements", r.Part(RecordPart::Movements), " ");
  out << ",\n \"transport_documents\":[";
  for (size_t i = 0; i < r.transport().size(); ++i) {
    const std::string& folio = r.transport()[i];
    std::string member = i ? ",\n  {\"transport_folio\":" : "\n  {\"transport_folio\":";
    AppendJsonText(member, folio);
    out << member << ",\n   ";
    JsonPart(out, "lines", r.Part(RecordPart::TransportLines, folio), "   ");
    out << ",\n   ";
    JsonPart(out, "vouchers", r.Part(RecordPart::TransportVouchers, folio), "   ");
    out << '}';
  }
  out << (r.transport().empty() ? "]" : "\n ]") << ",\n ";
  JsonPart(out, "entries", r.Part(RecordPart::Entries), " ");
  out << ",\n ";
  JsonPart(out, "entry_lines", r.Part(RecordPart::EntryLines), " ");
  out << "}\n";
}

void WriteText(std::ostream& out, const Record& r) {
  auto at = [&](std::string_view column) { return r.At(column); };
  out << "Transfer " << r.folio() << ": " << TypeName(at("Tr_Tipo")) << " (" << at("Tr_Tipo")
      << "), state " << at("Es_Cve_Estado") << ", "
      << (r.finalised_at() ? "finalised " + *r.finalised_at() : std::string("not finalised"))
      << '\n';
  out << "  date " << at("Tr_Fecha") << ", delivery " << at("Tr_Fecha_Entrega") << '\n';
  out << "  from " << at("Sc_Cve_Sucursal") << "/" << at("Al_Cve_Almacen") << " to "
      << at("Sc_Cve_Sucursal_Recibe") << "/" << at("Al_Cve_Almacen_Recibe") << '\n';
  if (!at("Tr_Referencia").empty()) out << "  refers to " << at("Tr_Referencia") << '\n';
  if (!at("Tr_Documento").empty())
    out << "  from document " << at("Tr_Tabla") << " " << at("Tr_Documento") << '\n';
  if (!at("Tr_Comentario").empty()) out << "  comment: " << at("Tr_Comentario") << '\n';
  if (!at("Fecha_Baja").empty())
    out << "  cancelled " << at("Fecha_Baja") << " by " << at("Oper_Baja") << '\n';

  out << "\nLines:\n";
  PrintTable(out, r.Part(RecordPart::Lines),
             {{"Tr_ID", "ID"},
              {"Pr_Cve_Producto", "Product"},
              {"Tl_Cve_Talla", "Size"},
              {"Cl_Cve_Color", "Colour"},
              {"Tr_Cantidad_1", "Qty"},
              {"Tr_Unidad_1", "Unit"},
              {"Tr_Cantidad_Control_1", "Qty ctl 1"},
              {"Tr_Unidad_Control_1", "Unit 1"},
              {"Tr_Cantidad_Control_2", "Qty ctl 2"},
              {"Tr_Unidad_Control_2", "Unit 2"},
              {"Tr_Costo", "Cost"},
              {"Tr_Importe_Costo", "Amount"},
              {"Es_Cve_Estado", "State"}});
  out << "\nReferred to by:\n";
  PrintTable(out, r.Part(RecordPart::ReferredBy),
             {{"Tr_Folio", "Transfer"},
              {"Tr_Tipo", "Type"},
              {"Es_Cve_Estado", "State"},
              {"line_count", "Lines"}});
  out << "\nInventory movements:\n";
  PrintTable(out, r.Part(RecordPart::Movements),
             {{"Mv_Folio", "Movement"},
              {"Mv_ID", "ID"},
              {"Mv_Tipo_Movimiento", "Kind"},
              {"Mv_Naturaleza", "E/S"},
              {"Sc_Cve_Sucursal", "Branch"},
              {"Al_Cve_Almacen", "Warehouse"},
              {"Pr_Cve_Producto", "Product"},
              {"Tl_Cve_Talla", "Size"},
              {"Cl_Cve_Color", "Colour"},
              {"Mv_Cantidad_1", "Qty 1"},
              {"Mv_Costo", "Cost"},
              {"Mv_Importe", "Amount"},
              {"stock", "Stock"},
              {"Es_Cve_Estado", "State"}});
  out << "\nTransport documents:\n";
  if (r.transport().empty()) out << "  (none)\n";
  for (const std::string& folio : r.transport()) {
    // Transport documents are numbered like transfers: say which folio this is.
    out << "  Transport folio " << folio << " (a transport document, not a transfer):\n";
    PrintTable(out, r.Part(RecordPart::TransportLines, folio),
               {{"Tr_ID", "ID"},
                {"Tr_Factura", "Invoice key"},
                {"Tr_Documento_ID", "Transfer line"},
                {"Pr_Cve_Producto", "Product"},
                {"Tr_Cantidad_1", "Qty"},
                {"Tr_Unidad_1", "Unit"},
                {"Tr_Costo_Importe", "Amount"},
                {"Es_Cve_Estado", "State"}},
               "    ");
    out << "    vouchers:\n";
    PrintTable(out, r.Part(RecordPart::TransportVouchers, folio),
               {{"Cd_UUID", "UUID"}, {"Cd_Fecha", "Date"}, {"Es_Cve_Estado", "State"}},
               "      ");
  }
  out << "\nAccounting entry:\n";
  PrintTable(out, r.Part(RecordPart::Entries),
             {{"Po_Folio", "Entry"},
              {"Po_Fecha", "Date"},
              {"Em_Cve_Empresa", "Company"},
              {"Po_Cargos", "Debits"},
              {"Po_Abonos", "Credits"},
              {"Es_Cve_Estado", "State"}});
  out << "  lines:\n";
  PrintTable(out, r.Part(RecordPart::EntryLines),
             {{"Po_Folio", "Entry"},
              {"Po_Renglon", "Line"},
              {"Po_Cuenta", "Account"},
              {"Po_Descripcion", "Description"},
              {"Po_Cargo", "Debit"},
              {"Po_Abono", "Credit"}},
             "    ");
}

}  // namespace

int RunShow(Context& cx) {
  Session session(cx.db_path, cx.trace, Access::ReadOnly);
  const Record record(session.db(), cx.invocation.operand);
  if (!record.exists()) {
    cx.io.err << "quelbarix: there is no transfer with folio " << cx.invocation.operand << '\n';
    return kExitFailure;
  }
  if (cx.invocation.json) {
    WriteJson(cx.io.out, record);
  } else {
    WriteText(cx.io.out, record);
  }
  return kExitOk;
}

}  // namespace qbx::cli
