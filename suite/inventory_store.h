// The inventory side of the suite, shared by its service classes (inventory,
// series, lots, posting) and the sample stock: stock figures, movement kinds,
// counters, parameters and the transfer lines that registrations refer to.
// Internal to the suite library.
//
// Every function raises qbx::RuntimeError for a database failure. Refusals
// that a service explains with Obtener_Mensaje_Error are thrown as Refusal,
// which the service catches; nothing else catches it.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "suite/database.h"

namespace qbx::suite::inv {

// A refusal with the text the service reports. Thrown inside a transaction
// so that the transaction rolls back.
class Refusal : public std::runtime_error {
 public:
  explicit Refusal(const std::string& text) : std::runtime_error(text) {}
};
[[noreturn]] inline void Refuse(const std::string& text) {
  throw Refusal(text);
}

// Quantities and costs closer than this are taken as equal.
inline constexpr double kEpsilon = 1e-9;

// A suite parameter's value as text; nullopt when the parameter is missing.
std::optional<std::string> ParameterText(Database& db, std::string_view name);
// A parameter read as a flag ("1", "-1", "True", "S", "SI" are on); the
// default when the parameter is missing or empty.
bool ParameterFlag(Database& db, std::string_view name, bool default_value);

// Whether an issue may leave stock below zero (INV_PERMITIR_EXISTENCIA_NEGATIVA).
bool NegativeStockAllowed(Database& db);
// Code of the transit warehouse at every branch (MOV_ALMACEN_TRANSITO_TRANSFERENCIA).
std::string TransitWarehouse(Database& db);

// Next value of a named counter (1, 2, ...), atomic across connections.
int64_t NextCounter(Database& db, std::string_view key);

// Direction of a movement kind: 'E' entry, 'S' issue, '\0' unknown. Read from
// Tipo_Movimiento; a kind missing there is an issue when it is the value of
// MOV_SALIDA_TRANSFERENCIA or MOV_SALIDA_TRANSITO and an entry when it is the
// value of MOV_ENTRADA_TRANSFERENCIA or MOV_ENTRADA_TRANSITO.
char KindDirection(Database& db, std::string_view kind);

// Capabilities of a live warehouse (Almacen); all false when there is none.
struct WarehouseFlags {
  bool exists = false;
  bool sizes = false;
  bool colours = false;
  bool lots = false;
  bool serials = false;
};
WarehouseFlags ReadWarehouse(Database& db, std::string_view branch, std::string_view warehouse);

// One stock figure: a product in one size and colour at one warehouse.
struct StockKey {
  std::string branch, warehouse, product, size, colour;
};
// The key as stock is kept: a warehouse that keeps no sizes (colours) keeps
// every size (colour) under "00".
StockKey NormalisedKey(const WarehouseFlags& flags, StockKey key);

// The figures of one stock row; zeros when there is none.
struct StockRow {
  bool exists = false;
  double on_hand_1 = 0, on_hand_2 = 0;        // on hand, control units 1 and 2
  double average_cost = 0;                    // per control unit 1
  double adjustment_1 = 0, adjustment_2 = 0;  // availability adjustment
};
StockRow ReadStock(Database& db, const StockKey& key);

// Applies quantities to on-hand stock and keeps the average cost up to date
// incrementally. An entry (sign +1) of q at unit cost c weighs c into the
// average; an issue (sign -1) leaves the average as it is. `reverse` undoes an
// earlier entry or issue: a reversed entry takes its value back out of the
// average, a reversed issue puts its value back in. Refused (Refusal) when it
// would leave on-hand stock below zero and that is not allowed. The quantities
// moved and the figures left are rounded to six decimals (StockFigure).
void ApplyToStock(Database& db, const StockKey& key, char direction, bool reverse, double q1,
                  double q2, double unit_cost, bool allow_negative);

// The refusal text of a quantity beyond on-hand stock.
std::string InsufficientStockText(const StockKey& key, double on_hand, double wanted);

// A line of table Transferencia as a registration needs it.
struct TransferLine {
  bool exists = false;
  std::string type;                                   // Tr_Tipo
  std::string state;                                  // Es_Cve_Estado
  std::string branch, warehouse;                      // Sc_Cve_Sucursal, Al_Cve_Almacen
  std::string receiving_branch, receiving_warehouse;  // ..._Recibe
};
TransferLine ReadTransferLine(Database& db, std::string_view folio, std::string_view line_id);

// Where the goods of a transfer line leave from and arrive: a shipment moves
// them from its warehouse into transit at the receiving branch, a reception
// from transit at its branch into its warehouse. Refusal for any other type.
struct Route {
  std::string from_branch, from_warehouse, to_branch, to_warehouse;
};
Route TransferRoute(Database& db, const TransferLine& line, std::string_view folio);

// The registration kind of transfers and the opening document of the sample.
inline constexpr std::string_view kKindTransfer = "TRANSFERENCIA";
inline constexpr std::string_view kKindOpening = "INVENTARIO_INICIAL";

// Case-insensitive equality of codes (the database compares them so).
bool SameCode(std::string_view a, std::string_view b);

}  // namespace qbx::suite::inv
