// quelbarix show FOLIO: everything the database holds about one transfer,
// written part by part as it is read (a document may have many thousand
// lines).
#include "cli/show.h"

#include <iostream>
#include <optional>
#include <vector>

#include "cli/commands.h"
#include "cli/i18n.h"
#include "cli/session.h"
#include "cli/table.h"
#include "suite/reports.h"

namespace qbx::cli {

std::string TypeName(const std::string& type) {
  if (type == "SL") return _("request");
  if (type == "EN") return _("shipment");
  if (type == "RC") return _("reception");
  return Format(_("type {0}"), {type});
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
  out << Format(_("Transfer {0}: {1} ({2}), state {3}, {4}"),
                {r.folio(), TypeName(at("Tr_Tipo")), at("Tr_Tipo"), at("Es_Cve_Estado"),
                 r.finalised_at() ? Format(_("finalised {0}"), {*r.finalised_at()})
                                  : std::string(_("not finalised"))})
      << '\n';
  out << Format(_("  date {0}, delivery {1}"), {at("Tr_Fecha"), at("Tr_Fecha_Entrega")}) << '\n';
  out << Format(_("  from {0}/{1} to {2}/{3}"),
                {at("Sc_Cve_Sucursal"), at("Al_Cve_Almacen"), at("Sc_Cve_Sucursal_Recibe"),
                 at("Al_Cve_Almacen_Recibe")})
      << '\n';
  if (!at("Tr_Referencia").empty())
    out << Format(_("  refers to {0}"), {at("Tr_Referencia")}) << '\n';
  if (!at("Tr_Documento").empty())
    out << Format(_("  from document {0} {1}"), {at("Tr_Tabla"), at("Tr_Documento")}) << '\n';
  if (!at("Tr_Comentario").empty())
    out << Format(_("  comment: {0}"), {at("Tr_Comentario")}) << '\n';
  if (!at("Fecha_Baja").empty())
    out << Format(_("  cancelled {0} by {1}"), {at("Fecha_Baja"), at("Oper_Baja")}) << '\n';

  out << _("\nLines:\n");
  PrintTable(out, r.Part(RecordPart::Lines),
             {{"Tr_ID", N_("ID")},
              {"Pr_Cve_Producto", N_("Product")},
              {"Tl_Cve_Talla", N_("Size")},
              {"Cl_Cve_Color", N_("Colour")},
              {"Tr_Cantidad_1", N_("Qty")},
              {"Tr_Unidad_1", N_("Unit")},
              {"Tr_Cantidad_Control_1", N_("Qty ctl 1")},
              {"Tr_Unidad_Control_1", N_("Unit 1")},
              {"Tr_Cantidad_Control_2", N_("Qty ctl 2")},
              {"Tr_Unidad_Control_2", N_("Unit 2")},
              {"Tr_Costo", N_("Cost")},
              {"Tr_Importe_Costo", N_("Amount")},
              {"Es_Cve_Estado", N_("State")}});
  out << _("\nReferred to by:\n");
  PrintTable(out, r.Part(RecordPart::ReferredBy),
             {{"Tr_Folio", N_("Transfer")},
              {"Tr_Tipo", N_("Type")},
              {"Es_Cve_Estado", N_("State")},
              {"line_count", N_("Lines")}});
  out << _("\nInventory movements:\n");
  PrintTable(out, r.Part(RecordPart::Movements),
             {{"Mv_Folio", N_("Movement")},
              {"Mv_ID", N_("ID")},
              {"Mv_Tipo_Movimiento", N_("Kind")},
              {"Mv_Naturaleza", N_("E/S")},
              {"Sc_Cve_Sucursal", N_("Branch")},
              {"Al_Cve_Almacen", N_("Warehouse")},
              {"Pr_Cve_Producto", N_("Product")},
              {"Tl_Cve_Talla", N_("Size")},
              {"Cl_Cve_Color", N_("Colour")},
              {"Mv_Cantidad_1", N_("Qty 1")},
              {"Mv_Costo", N_("Cost")},
              {"Mv_Importe", N_("Amount")},
              {"stock", N_("Stock")},
              {"Es_Cve_Estado", N_("State")}});
  out << _("\nTransport documents:\n");
  if (r.transport().empty()) out << _("  (none)\n");
  for (const std::string& folio : r.transport()) {
    // Transport documents are numbered like transfers: say which folio this is.
    out << Format(_("  Transport folio {0} (a transport document, not a transfer):"), {folio})
        << '\n';
    PrintTable(out, r.Part(RecordPart::TransportLines, folio),
               {{"Tr_ID", N_("ID")},
                {"Tr_Factura", N_("Invoice key")},
                {"Tr_Documento_ID", N_("Transfer line")},
                {"Pr_Cve_Producto", N_("Product")},
                {"Tr_Cantidad_1", N_("Qty")},
                {"Tr_Unidad_1", N_("Unit")},
                {"Tr_Costo_Importe", N_("Amount")},
                {"Es_Cve_Estado", N_("State")}},
               "    ");
    out << _("    vouchers:\n");
    PrintTable(out, r.Part(RecordPart::TransportVouchers, folio),
               {{"Cd_UUID", N_("UUID")}, {"Cd_Fecha", N_("Date")}, {"Es_Cve_Estado", N_("State")}},
               "      ");
  }
  out << _("\nAccounting entry:\n");
  PrintTable(out, r.Part(RecordPart::Entries),
             {{"Po_Folio", N_("Entry")},
              {"Po_Fecha", N_("Date")},
              {"Em_Cve_Empresa", N_("Company")},
              {"Po_Cargos", N_("Debits")},
              {"Po_Abonos", N_("Credits")},
              {"Es_Cve_Estado", N_("State")}});
  out << _("  lines:\n");
  PrintTable(out, r.Part(RecordPart::EntryLines),
             {{"Po_Folio", N_("Entry")},
              {"Po_Renglon", N_("Line")},
              {"Po_Cuenta", N_("Account")},
              {"Po_Descripcion", N_("Description")},
              {"Po_Cargo", N_("Debit")},
              {"Po_Abono", N_("Credit")}},
             "    ");
}

}  // namespace

int RunShow(Context& cx) {
  Session session(cx.db_path, cx.trace, Access::ReadOnly);
  const Record record(session.db(), cx.invocation.operand);
  if (!record.exists()) {
    cx.io.err << "quelbarix: "
              << Format(_("there is no transfer with folio {0}"), {cx.invocation.operand}) << '\n';
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
