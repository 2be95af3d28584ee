// The sample catalogue: branches (one a distribution centre), warehouses with
// and without sizes, colours, lots and serials, a transit warehouse at every
// branch that receives, products of types "01" to "04" and "99" with units and
// conversions, every parameter the component reads, open operating periods
// and a couple of orders.
#pragma once

#include <string>

namespace qbx::suite {

class Database;

// Codes of the sample catalogue that tests, demos and the stock sample share.
namespace sample {
inline constexpr const char* kCedis = "CEDIS";          // distribution centre
inline constexpr const char* kBranchNorth = "NORTE";    // receives from CEDIS
inline constexpr const char* kBranchSouth = "SUR";      // receives from CEDIS
inline constexpr const char* kTransitWarehouse = "TR";  // at every branch
// Warehouses (at every branch): plain, by size and colour, lots, serials.
inline constexpr const char* kWarehouseGeneral = "GRL";
inline constexpr const char* kWarehouseApparel = "ROP";  // sizes and colours
inline constexpr const char* kWarehouseLots = "LOT";
inline constexpr const char* kWarehouseSerials = "SER";
// Products, one per type: plain "01", by size and colour "01", lots "02",
// serial numbers "03", "04", no stock "99".
inline constexpr const char* kProductPlain = "TORN-001";
inline constexpr const char* kProductApparel = "CAMISA-01";
inline constexpr const char* kProductLot = "MED-LOTE";
inline constexpr const char* kProductSerial = "LAPTOP-01";
inline constexpr const char* kProductType4 = "KIT-01";
inline constexpr const char* kProductService = "SERV-01";
// Movement kind codes held by the MOV_* parameters.
inline constexpr const char* kKindIssueTransfer = "STR";  // MOV_SALIDA_TRANSFERENCIA
inline constexpr const char* kKindEntryTransit = "ETT";   // MOV_ENTRADA_TRANSITO
inline constexpr const char* kKindIssueTransit = "STT";   // MOV_SALIDA_TRANSITO
inline constexpr const char* kKindEntryTransfer = "ETR";  // MOV_ENTRADA_TRANSFERENCIA
}  // namespace sample

// Fills an empty schema with the sample catalogue (one transaction), then
// calls CreateSampleStock.
void CreateSampleCatalogue(Database& db);

// Opening stock of the sample catalogue (inventory tables). Defined with the
// inventory services' sources; runs inside the catalogue's transaction.
void CreateSampleStock(Database& db);

// Creates a new database file at path with the schema and, when sample is
// true, the sample catalogue. Refuses an existing file with a RuntimeError.
// On a server (see IsServerDatabase) the database must exist already: it
// gets the schema (and sample) in one transaction, and one that holds the
// suite's tables already is refused. Returns the path.
std::string CreateDatabase(const std::string& path, bool sample);

}  // namespace qbx::suite
