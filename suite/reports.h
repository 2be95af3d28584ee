// What the tool and the benchmark read from the suite's documents, and the
// few rows they set up, answered as plain values: callers never see the
// tables' texts, so another database needs only these functions.
//
// Failure: every function raises qbx::RuntimeError for a database failure.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/value.h"

namespace qbx::suite {

class Database;

// Rows as stored, with their column names (the tool prints every column).
struct RowSet {
  std::vector<std::string> columns;
  std::vector<std::vector<Variant>> rows;

  bool empty() const { return rows.empty(); }
  // Position of a column (any case); -1 when none.
  int Find(std::string_view column) const;
  // The value of a column in row r; Null when the column is not there.
  Variant At(size_t r, std::string_view column) const;
};

// A query's answer handed over as it is read: the column names once, then
// each row. Nothing is kept, so a document of any size reads in little memory.
class RowStream {
 public:
  virtual ~RowStream() = default;
  virtual void Columns(const std::vector<std::string>& names) = 0;
  virtual void Row(const std::vector<Variant>& values) = 0;
};

// The parts of what is held about a transfer. `key` is the transfer's folio,
// except for a transport document's lines and vouchers (its own folio).
enum class RecordPart {
  FirstLine,           // the transfer's first row (none: no such transfer)
  Lines,               // its Transferencia rows, in line order
  ReferredBy,          // Tr_Folio, Tr_Tipo, Es_Cve_Estado, line_count of transfers referring to it
  Movements,           // its inventory movements
  TransportLines,      // the Traslado rows of one transport document, in line order
  TransportVouchers,   // the vouchers of one transport document
  Entries,             // its accounting entries
  EntryLines,          // and their lines
};
// Streams one part; a part whose table the database lacks (made before
// inventory or accounting) answers its columns empty and no rows.
void ReadRecordPart(Database& db, RecordPart part, const std::string& key, RowStream& to);
// The same, kept (for small parts).
RowSet ReadRecordRows(Database& db, RecordPart part, const std::string& key);

// A transfer's rows in line order (lines numbered as numbers).
RowSet TransferRows(Database& db, const std::string& folio);
int64_t TransferRowCount(Database& db, const std::string& folio);
// The sum of its lines' cost amounts.
double TransferAmount(Database& db, const std::string& folio);
// When it was finalised; nullopt when it never was.
std::optional<std::string> FinalisedAt(Database& db, const std::string& folio);

// A transfer's inventory movements: all rows, those applied to stock, those
// not cancelled, and those not cancelled and still waiting to be applied.
struct MovementCounts {
  int64_t rows = 0, applied = 0, live = 0, pending = 0;
};
MovementCounts MovementsOf(Database& db, const std::string& folio);

// Stock of a product at a warehouse, summed over sizes and colours: on hand
// (applied movements) and available (on hand plus commitments and releases).
struct StockFigures {
  std::string branch, warehouse, product;
  double on_hand = 0, available = 0;
};
// Every place holding a product, ordered by branch, warehouse and product.
std::vector<StockFigures> ReadStock(Database& db);

// An accounting entry of a transfer.
struct Entry {
  std::string folio, state;
  double debits = 0, credits = 0;
};
std::vector<Entry> EntriesOf(Database& db, const std::string& folio);

// The transport documents made for a transfer (folios, ordered).
std::vector<std::string> TransportDocumentsOf(Database& db, const std::string& folio);
struct TransportLine {
  std::string id, invoice_key, state;
};
// The lines of one transport document, in line order.
std::vector<TransportLine> TransportLines(Database& db, const std::string& traslado);
// The state of a transport document's voucher; nullopt when none was issued.
std::optional<std::string> VoucherState(Database& db, const std::string& traslado);
// Records the voucher issued for a transport document, live.
void RecordVoucher(Database& db, const std::string& traslado, const std::string& uuid);

// The requests (SL) made from an order (folios, ordered).
std::vector<std::string> RequestsOfOrder(Database& db, const std::string& order);

// An order's demand of one product (size and colour), with where it is
// asked and the distribution centre that serves that branch.
struct OrderDemand {
  std::string product, size, colour;
  double quantity = 0, control = 0;  // Pd_Cantidad_1 and Pd_Cantidad_Control_1, summed
  std::string distribution_centre, branch, warehouse;
  double control_2 = 0;  // Pd_Cantidad_Control_2, summed
};
std::vector<OrderDemand> DemandOfOrder(Database& db, const std::string& order);

struct OrderLine {
  std::string id, product, size, colour, state;
  double control = 0;  // Pd_Cantidad_Control_1
};
// An order's lines, in line order.
std::vector<OrderLine> OrderLines(Database& db, const std::string& order);
// Records that a document consolidates an order line.
void RecordConsolidation(Database& db, const std::string& order, const std::string& line_id,
                         const std::string& transfer);

// What a branch has of a product (size and colour) over all its warehouses,
// as the inventory service answers it: on hand plus adjustments.
double AvailableAt(Database& db, const std::string& branch, const std::string& product,
                   const std::string& size, const std::string& colour);

// A parameter's value; "" when it is not set.
std::string ParameterValue(Database& db, const std::string& name);
// Sets a parameter, adding it (as a yes/no setting) when it is missing.
void SetParameter(Database& db, const std::string& name, const std::string& value);

// A plain product in pieces, with opening stock at one warehouse (no size
// or colour).
struct CatalogueProduct {
  std::string code, description, account;
  std::string branch, warehouse;
  double on_hand = 0, average_cost = 0;
};
// All or none.
void AddCatalogueProducts(Database& db, const std::vector<CatalogueProduct>& products);

// An order line in pieces, delivered a week from today from the given
// inventory warehouse.
struct NewOrderLine {
  std::string folio, id, branch, warehouse, product;
  double quantity = 0;
  std::string stock_branch, stock_warehouse;
};
// All or none.
void AddOrderLines(Database& db, const std::vector<NewOrderLine>& lines);

// One transfer as a list shows it: its first line's date, type, state and
// branch, and how many lines it has.
struct TransferSummary {
  std::string folio, type, state, date, branch;  // date "yyyy-mm-dd"
  int64_t lines = 0;
};
// Filters of ListTransfers; an empty one does not filter. Dates are
// "yyyy-mm-dd" and both ends are included.
struct TransferFilter {
  std::string type, state, branch, from, to;
};
// Transfers that pass the filter, newest first (by date, then by when they
// were stored, then by folio).
std::vector<TransferSummary> ListTransfers(Database& db, const TransferFilter& filter);

// What a capture document names, each ordered by its codes. Products:
// code, description, unit, tracking ("lot", "serial" or ""); warehouses:
// branch, code, description, sizes/colours/lots/serials/transit flags;
// units and branches: code, description; periods: open operating periods
// (module, start, end).
RowSet CatalogueProducts(Database& db);
RowSet CatalogueWarehouses(Database& db);
RowSet CatalogueUnits(Database& db);
RowSet CatalogueBranches(Database& db);
RowSet OpenPeriods(Database& db);

// What the tool checks a capture document against. The state (Es_Cve_Estado)
// of a branch, of a warehouse of a branch and of a unit; nullopt when there is
// none.
std::optional<std::string> BranchState(Database& db, const std::string& branch);
std::optional<std::string> WarehouseState(Database& db, const std::string& branch,
                                          const std::string& warehouse);
std::optional<std::string> UnitState(Database& db, const std::string& unit);
struct ProductFacts {
  std::string state, type, control_unit;  // type: Pr_Tipo_Producto ("03": serials)
};
std::optional<ProductFacts> FindProduct(Database& db, const std::string& product);
// The units a line of the product may be given in, ordered: its control unit
// and each unit with a live conversion factor to it (the product's own or the
// generic one, either way round), as the data service converts.
std::vector<std::string> UnitsOfProduct(Database& db, const std::string& product);

// The rows of the documents' tables (transfers, transport documents,
// orders), ordered by every column in turn, for comparing two databases.
RowSet DocumentRows(Database& db, std::string_view table);

}  // namespace qbx::suite
