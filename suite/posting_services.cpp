// PostingServices of the embedded suite: the accounting entry of a transfer
// (tables Poliza and Poliza_Detalle).
//
// Whether a kind of document is posted is the parameter
// CON_CONTABILIZAR_<KIND>S ("CON_CONTABILIZAR_TRANSFERENCIAS"), off when
// missing. A transfer that moved goods gets one entry, valued at its rows'
// Tr_Importe_Costo: a shipment debits the goods in transit at the receiving
// branch and credits the sending warehouse; a reception debits the receiving
// warehouse and credits its branch's goods in transit. A request moves no
// goods and gets none. The account of goods at a warehouse joins the
// accounts of the branch, the warehouse and the product (Sc_Cuenta_Contable,
// Al_Cuenta_Contable, Pr_Cuenta_Contable) with "-", leaving out empty ones.
// Each row's amount is taken as the decimal its value shows (decimal.h) and
// summed exactly per account; the entry's total is rounded to cents once, and
// each side's account lines share it out by largest remainder, so both sides
// sum to it to the cent however many rows and accounts there are. An entry
// whose total rounds to 0 is not written. Cancelling marks the entry 'CA'.
#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "automation/value.h"
#include "services/registration_services.h"
#include "suite/config.h"
#include "suite/database.h"
#include "suite/decimal.h"
#include "suite/dialect.h"
#include "suite/inventory_store.h"
#include "suite/services.h"

namespace qbx::suite {

namespace {

// Shares `cents` out over exact amounts that sum to within a cent of it
// (the sum rounded): each gets its amount rounded down to cents, and the cents
// left over go one each to the largest remainders, earlier amounts first on
// a tie. Each share is its amount rounded up or down.
std::vector<Exact> ShareOut(const std::vector<Exact>& amounts, Exact cents) {
  constexpr Exact cent = 10'000'000'000;  // 10^-2 in units of 10^-12
  std::vector<Exact> shares(amounts.size());
  std::vector<size_t> order(amounts.size());
  Exact left = cents;
  for (size_t i = 0; i < amounts.size(); ++i) {
    shares[i] = amounts[i] / cent;
    left -= shares[i];
    order[i] = i;
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return amounts[a] % cent > amounts[b] % cent;
  });
  // The remainders sum to under one cent per amount, so `left` never
  // exceeds their count.
  for (size_t i = 0; i < order.size() && left > 0; ++i, --left) ++shares[order[i]];
  return shares;
}

class PostingServices final : public com::Object<PostingServices, IPostingServices> {
 public:
  PostingServices() : Object(&SuiteModule()), db_(Database::ForThread()) {}

  bool Documento_Habilitado(const std::string& kind) override {
    return inv::ParameterFlag(*db_, "CON_CONTABILIZAR_" + UCase(kind) + "S", false);
  }

  bool Generar_Documento(const std::string& kind, const std::string& folio,
                         const std::string& company) override {
    error_.clear();
    if (!inv::SameCode(kind, inv::kKindTransfer)) {
      return Fail("El documento: " + kind + ", no está programado para contabilizarse");
    }
    // One transaction: two finalisations of one transfer cannot both post it.
    bool done = false;
    db_->Transaction([&] { done = Generate(folio, company); });
    return done;
  }

  bool Cancelar_Documento(const std::string& kind, const std::string& folio) override {
    error_.clear();
    static const DialectSql kUpdatePoliza(
        "UPDATE Poliza SET Es_Cve_Estado = 'CA', Oper_Baja = ?, "
        "Fecha_Baja = {now} "
        "WHERE Po_Tabla = ? AND Po_Documento = ? AND Es_Cve_Estado <> 'CA'");
    db_->Prepare(kUpdatePoliza.For(db_->dialect()))
        .Bind({CurrentConfig().operator_code, kind, folio})
        .Run();
    return true;
  }

  std::string Obtener_Mensaje_Error() override { return error_; }

 private:
  bool Generate(const std::string& folio, const std::string& company) {
    // Accounts are remembered within this one transaction only: it holds the
    // write lock and writes no catalogue row, so none can change under it.
    accounts_.clear();
    if (LiveEntry(std::string(inv::kKindTransfer), folio)) return true;  // already posted
    const Totals totals = ReadTotals(folio);
    if (!totals.any) return Fail("La transferencia: " + folio + ", no existe o está cancelada");
    const Exact cents = RoundedUnits(totals.total, 2);
    if (cents == 0) return true;  // nothing moved that has a value
    WriteEntry(totals, folio, company, cents);
    return true;
  }

  // What a transfer's live lines add up to, per account and side.
  struct Totals {
    bool any = false;  // a live line was found
    std::string type;  // of the first line, as is the date
    Variant date;
    // (account, side) -> exact amount; side 0 debit, 1 credit.
    std::map<std::pair<std::string, int>, Exact> lines;
    Exact total = 0;
  };

  Totals ReadTotals(const std::string& folio) {
    // Line order, which is the order the lines were stored in (ids are taken
    // one past the highest); the (folio, CAST(id AS INTEGER)) index serves it.
    static const DialectSql kLines(
        "SELECT Tr_Tipo, Tr_Fecha, Sc_Cve_Sucursal, Al_Cve_Almacen, Sc_Cve_Sucursal_Recibe, "
        "Pr_Cve_Producto, Tr_Importe_Costo FROM Transferencia "
        "WHERE Tr_Folio = ? AND Es_Cve_Estado <> 'CA' ORDER BY CAST(Tr_ID AS INTEGER) {binary}");
    Query rows(*db_, kLines.For(db_->dialect()), {folio});
    const std::string transit = inv::TransitWarehouse(*db_);
    Totals t;
    while (rows.Step()) {
      if (!t.any) {
        t.any = true;
        t.type = rows.Text(0);
        t.date = rows.Value(1);
      }
      if (t.type != "EN" && t.type != "RC") continue;
      const std::string branch = rows.Text(2);
      const std::string warehouse = rows.Text(3);
      const std::string receiving = rows.Text(4);
      const std::string product = rows.Text(5);
      Variant value = rows.Value(6);
      Exact amount = value.IsNull() ? 0 : ExactAmount(value.ToDouble());
      if (amount == 0) continue;
      std::string debit, credit;
      if (t.type == "EN") {
        debit = Account(receiving, transit, product);
        credit = Account(branch, warehouse, product);
      } else {
        debit = Account(branch, warehouse, product);
        credit = Account(branch, transit, product);
      }
      if (amount < 0) {
        std::swap(debit, credit);
        amount = -amount;
      }
      t.lines[{debit, 0}] += amount;
      t.lines[{credit, 1}] += amount;
      t.total += amount;
    }
    return t;
  }

  void WriteEntry(const Totals& t, const std::string& folio, const std::string& company,
                  Exact cents) {
    const std::string entry =
        "PO" + FormatZeros(static_cast<double>(inv::NextCounter(*db_, "POLIZA")), "00000000");
    const std::string op = CurrentConfig().operator_code;
    static const DialectSql kInsertPoliza(
        "INSERT INTO Poliza (Po_Folio, Po_Fecha, Po_Tabla, Po_Documento, Em_Cve_Empresa, "
        "Po_Concepto, Po_Cargos, Po_Abonos, Oper_Alta, Fecha_Alta) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, {now})");
    db_->Prepare(kInsertPoliza.For(db_->dialect()))
        .Bind({entry, t.date, std::string(inv::kKindTransfer), folio, company,
               "Transferencia " + t.type + " " + folio, static_cast<double>(cents) / 100.0,
               static_cast<double>(cents) / 100.0, op})
        .Run();
    Statement& detail = db_->Prepare(
        "INSERT INTO Poliza_Detalle (Po_Folio, Po_Renglon, Po_Cuenta, Po_Descripcion, "
        "Po_Cargo, Po_Abono) VALUES (?, ?, ?, ?, ?, ?)");
    int32_t n = 0;
    for (int side : {0, 1}) {
      std::vector<const std::string*> accounts;
      std::vector<Exact> amounts;
      for (const auto& [key, amount] : t.lines) {
        if (key.second != side) continue;
        accounts.push_back(&key.first);
        amounts.push_back(amount);
      }
      const std::vector<Exact> shares = ShareOut(amounts, cents);
      for (size_t i = 0; i < shares.size(); ++i) {
        if (shares[i] == 0) continue;  // an account that came to no whole cent
        const double value = static_cast<double>(shares[i]) / 100.0;
        detail
            .Bind({entry, ++n, *accounts[i], side == 0 ? "Cargo " + folio : "Abono " + folio,
                   side == 0 ? value : 0.0, side == 0 ? 0.0 : value})
            .Run();
      }
    }
  }

  bool LiveEntry(const std::string& kind, const std::string& folio) {
    return Query(*db_,
                 "SELECT 1 FROM Poliza WHERE Po_Tabla = ? AND Po_Documento = ? "
                 "AND Es_Cve_Estado <> 'CA' LIMIT 1",
                 {kind, folio})
        .Step();
  }

  // The accounts of the catalogue records (see Generate for how long they
  // are remembered).
  std::string Account(const std::string& branch, const std::string& warehouse,
                      const std::string& product) {
    std::string out;
    for (const std::string& part :
         {Lookup("SELECT Sc_Cuenta_Contable FROM Sucursal WHERE Sc_Cve_Sucursal = ?", {branch}),
          Lookup("SELECT Al_Cuenta_Contable FROM Almacen WHERE Sc_Cve_Sucursal = ? AND "
                 "Al_Cve_Almacen = ?",
                 {branch, warehouse}),
          Lookup("SELECT Pr_Cuenta_Contable FROM Producto WHERE Pr_Cve_Producto = ?", {product})}) {
      if (part.empty()) continue;
      if (!out.empty()) out += '-';
      out += part;
    }
    return out;
  }

  std::string Lookup(const char* sql, const std::vector<Variant>& key) {
    std::string cache_key = sql;
    for (const Variant& v : key) cache_key += '\x1f' + UCase(v.ToStringOrEmpty());
    auto it = accounts_.find(cache_key);
    if (it != accounts_.end()) return it->second;
    std::string value;
    if (Query query(*db_, sql, key); query.Step()) value = Trim(query.Text(0));
    accounts_.emplace(cache_key, value);
    return value;
  }

  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  std::shared_ptr<Database> db_;
  std::string error_;
  std::map<std::string, std::string> accounts_;
};

}  // namespace

com::ComPtr<com::IUnknown> CreatePostingServices() {
  return PostingServices::Make();
}

}  // namespace qbx::suite
