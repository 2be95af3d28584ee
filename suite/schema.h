// The pieces of the suite's schema. Each piece is a script of CREATE TABLE /
// CREATE INDEX statements that can run on an empty or a current database
// ("IF NOT EXISTS" throughout); Database::EnsureSchema runs them all inside
// one transaction and records kSchemaVersion in table Version_Esquema.
//
// Conventions every piece follows:
// - every TEXT column is declared COLLATE NOCASE (the component writes
//   Mv_Tabla "Transferencia" and later counts 'TRANSFERENCIA');
// - every Es_Cve_Estado column is TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE;
// - dates are declared DATE or DATETIME and stored as "yyyy-mm-dd" or
//   "yyyy-mm-dd hh:mm:ss" texts, which compare and sort correctly; the
//   connection hands them back as Dates;
// - a text a capture document gives has its size as its own check,
//   "CHECK (length(Name) <= n)" (characters), which both backends enforce and
//   TextLimits reads (a VARCHAR(n) would change SQLite's size estimates and so
//   its query plans, and the order of rows the component reads unordered);
// - a column name of one table does not repeat in a table the component joins
//   it with unless the join is on it (Es_Cve_Estado is the one exception: the
//   component always qualifies it in joins).
#pragma once

#include <string_view>
#include <vector>

namespace qbx::suite {

// Bump when a piece changes in a way an existing database must follow.
inline constexpr int kSchemaVersion = 2;

// The tables the component reads and writes (Transferencia, Traslado, Pedido,
// Documento_Consolidado, Comprobante_Digital, Sucursal, Almacen, Producto,
// Unidad) and the suite's own tables behind SystemServices and DataServices
// (Parametro, Folio, Serie_Consecutivo, Periodo_Operativo, Producto_Talla,
// Producto_Color, Producto_Talla_Color, Factor_Conversion,
// Documento_Procesado, Clave_Operacion, Version_Esquema). Defined in
// suite/sqlite/schema_core.cpp.
std::string_view CoreSchemaSql();

// Inventory tables: Movimiento (Mv_Tabla, Mv_Documento, ...), stock and
// availability, serial and lot registrations, and the accounting entries
// table Poliza (Po_Tabla, Po_Documento, Es_Cve_Estado, ...) that
// DataServices.Documento_Contabilizado reads. Defined in
// suite/sqlite/schema_inventory.cpp.
std::string_view InventorySchemaSql();

// A text column's declared size, in characters.
struct TextLimit {
  std::string_view table, column;
  int size = 0;
};
// Every declared size of the pieces above, in their order: the DDL is the one
// place sizes are written.
const std::vector<TextLimit>& TextLimits();

}  // namespace qbx::suite
