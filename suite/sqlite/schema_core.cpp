// The tables the component reads and writes, and the suite's own tables behind
// SystemServices and DataServices. Conventions in suite/schema.h.
//
// Column names: the component selects unqualified columns from
// Transferencia JOIN Producto JOIN Sucursal (Tr_Folio, Tr_Id, Tl_Cve_Talla,
// Cl_Cve_Color, Tr_Cantidad_1, ...), from Transferencia JOIN Sucursal
// (Em_Cve_Empresa) and from Pedido JOIN Sucursal (Pd_Folio), so no name of
// one of these tables repeats in another unless the join is on it
// (Pr_Cve_Producto, Sc_Cve_Sucursal). Es_Cve_Estado is the one exception:
// every table has it and the component always qualifies it in joins.
#include "suite/schema.h"

namespace qbx::suite {

std::string_view CoreSchemaSql() {
  return R"sql(
-- One row per transfer line; header values repeat on every row of a folio.
CREATE TABLE IF NOT EXISTS Transferencia (
  Tr_Folio               TEXT NOT NULL COLLATE NOCASE,
  Tr_ID                  TEXT NOT NULL COLLATE NOCASE,
  Tr_Fecha               DATE,
  Tr_Fecha_Entrega       DATE,
  Tr_Tipo                TEXT COLLATE NOCASE CHECK (length(Tr_Tipo) <= 2),
  Tr_Referencia          TEXT COLLATE NOCASE CHECK (length(Tr_Referencia) <= 40),
  Tr_Comentario          TEXT COLLATE NOCASE CHECK (length(Tr_Comentario) <= 250),
  Tr_Tabla               TEXT COLLATE NOCASE CHECK (length(Tr_Tabla) <= 30),
  Tr_Documento           TEXT COLLATE NOCASE CHECK (length(Tr_Documento) <= 30),
  Sc_Cve_Sucursal_Recibe TEXT COLLATE NOCASE CHECK (length(Sc_Cve_Sucursal_Recibe) <= 15),
  Sc_Cve_Sucursal        TEXT COLLATE NOCASE CHECK (length(Sc_Cve_Sucursal) <= 15),
  Al_Cve_Almacen         TEXT COLLATE NOCASE CHECK (length(Al_Cve_Almacen) <= 15),
  Al_Cve_Almacen_Recibe  TEXT COLLATE NOCASE CHECK (length(Al_Cve_Almacen_Recibe) <= 15),
  Pr_Cve_Producto        TEXT COLLATE NOCASE CHECK (length(Pr_Cve_Producto) <= 30),
  Tl_Cve_Talla           TEXT COLLATE NOCASE CHECK (length(Tl_Cve_Talla) <= 10),
  Cl_Cve_Color           TEXT COLLATE NOCASE CHECK (length(Cl_Cve_Color) <= 10),
  Tr_Cantidad_1          REAL DEFAULT 0,
  Tr_Unidad_1            TEXT COLLATE NOCASE CHECK (length(Tr_Unidad_1) <= 10),
  Tr_Cantidad_Control_1  REAL DEFAULT 0,
  Tr_Unidad_Control_1    TEXT COLLATE NOCASE CHECK (length(Tr_Unidad_Control_1) <= 10),
  Tr_Cantidad_Control_2  REAL DEFAULT 0,
  Tr_Unidad_Control_2    TEXT COLLATE NOCASE CHECK (length(Tr_Unidad_Control_2) <= 10),
  Tr_Cantidad_Costo      REAL DEFAULT 0,
  Tr_Unidad_Costo        TEXT COLLATE NOCASE CHECK (length(Tr_Unidad_Costo) <= 10),
  Tr_Costo               REAL DEFAULT 0,
  Tr_Importe_Costo       REAL DEFAULT 0,
  Tr_Indirecto_Factor    REAL DEFAULT 0,
  Tr_Indirecto_Importe   REAL DEFAULT 0,
  Lt_Cve_Lote            TEXT COLLATE NOCASE CHECK (length(Lt_Cve_Lote) <= 30),
  Lt_Fecha_Caducidad     DATE,
  Lt_Pedimento           TEXT COLLATE NOCASE CHECK (length(Lt_Pedimento) <= 30),
  Lt_Fecha_Pedimento     DATE,
  Oper_Alta              TEXT COLLATE NOCASE,
  Fecha_Alta             DATETIME,
  Oper_Ult_Modif         TEXT COLLATE NOCASE,
  Fecha_Ult_Modif        DATETIME,
  Es_Cve_Estado          TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  Oper_Baja              TEXT COLLATE NOCASE,
  Fecha_Baja             DATETIME,
  PRIMARY KEY (Tr_Folio, Tr_ID)
);
-- Next line id of a folio: the highest id as a number, one index step. The
-- cast keeps the column's NOCASE collation unless told otherwise, and the
-- planner only reads an index in order when the collations agree, so both the
-- index and the lookup name BINARY.
CREATE INDEX IF NOT EXISTS IX_Transferencia_Id_Numero
  ON Transferencia (Tr_Folio, CAST(Tr_ID AS INTEGER) COLLATE BINARY);
-- Live shipments and receptions that refer to a transfer.
CREATE INDEX IF NOT EXISTS IX_Transferencia_Referencia
  ON Transferencia (Tr_Referencia, Tr_Tipo);
-- The reception's cost lookup in the shipment it receives.
CREATE INDEX IF NOT EXISTS IX_Transferencia_Costo
  ON Transferencia (Tr_Folio, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color);

-- Transport document rows, one per shipped line.
CREATE TABLE IF NOT EXISTS Traslado (
  Tr_Folio          TEXT NOT NULL COLLATE NOCASE,
  Tr_ID             TEXT NOT NULL COLLATE NOCASE,
  Tr_Fecha          DATE,
  Tr_Tabla          TEXT COLLATE NOCASE,
  Tr_Documento      TEXT COLLATE NOCASE,
  Tr_Documento_ID   TEXT COLLATE NOCASE,
  Tr_Referencia     TEXT COLLATE NOCASE,
  Tr_Comentario     TEXT COLLATE NOCASE,
  Tr_Serie          TEXT COLLATE NOCASE,
  Tr_Serie_Folio    TEXT COLLATE NOCASE,
  Tr_Factura        TEXT COLLATE NOCASE,
  Sc_Cve_Sucursal   TEXT COLLATE NOCASE,
  Tr_Concepto       TEXT COLLATE NOCASE,
  Pr_Cve_Producto   TEXT COLLATE NOCASE,
  Tl_Cve_Talla      TEXT COLLATE NOCASE,
  Cl_Cve_Color      TEXT COLLATE NOCASE,
  Tr_Cantidad_1     REAL DEFAULT 0,
  Tr_Unidad_1       TEXT COLLATE NOCASE,
  Tr_Cantidad_Costo REAL DEFAULT 0,
  Tr_Unidad_Costo   TEXT COLLATE NOCASE,
  Tr_Costo          REAL DEFAULT 0,
  Tr_Costo_Importe  REAL DEFAULT 0,
  Mn_Cve_Moneda     TEXT COLLATE NOCASE,
  Tr_Tipo_Cambio    REAL DEFAULT 1,
  Oper_Alta         TEXT COLLATE NOCASE,
  Fecha_Alta        DATETIME,
  Oper_Ult_Modif    TEXT COLLATE NOCASE,
  Fecha_Ult_Modif   DATETIME,
  Es_Cve_Estado     TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  Oper_Baja         TEXT COLLATE NOCASE,
  Fecha_Baja        DATETIME,
  PRIMARY KEY (Tr_Folio, Tr_ID)
);
CREATE INDEX IF NOT EXISTS IX_Traslado_Documento ON Traslado (Tr_Tabla, Tr_Documento);
CREATE INDEX IF NOT EXISTS IX_Traslado_Id_Numero
  ON Traslado (Tr_Folio, CAST(Tr_ID AS INTEGER) COLLATE BINARY);

-- Customer order lines. Al_Cve_Almacen is the ordering branch's warehouse
-- that receives the goods; Pd_Sucursal_Inventario and Pd_Almacen_Inventario
-- are where the line's quantity is committed.
CREATE TABLE IF NOT EXISTS Pedido (
  Pd_Folio               TEXT NOT NULL COLLATE NOCASE,
  Pd_ID                  TEXT NOT NULL COLLATE NOCASE,
  Sc_Cve_Sucursal        TEXT COLLATE NOCASE,
  Al_Cve_Almacen         TEXT COLLATE NOCASE,
  Pd_Fecha               DATE,
  Pd_Fecha_Entrega       DATE,
  Pr_Cve_Producto        TEXT COLLATE NOCASE,
  Tl_Cve_Talla           TEXT COLLATE NOCASE,
  Cl_Cve_Color           TEXT COLLATE NOCASE,
  Es_Cve_Estado          TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  Pd_Cantidad_1          REAL DEFAULT 0,
  Pd_Unidad_1            TEXT COLLATE NOCASE,
  Pd_Unidad_Control_1    TEXT COLLATE NOCASE,
  Pd_Unidad_Control_2    TEXT COLLATE NOCASE,
  Pd_Cantidad_Control_1  REAL DEFAULT 0,
  Pd_Cantidad_Control_2  REAL DEFAULT 0,
  Pd_Sucursal_Inventario TEXT COLLATE NOCASE,
  Pd_Almacen_Inventario  TEXT COLLATE NOCASE,
  PRIMARY KEY (Pd_Folio, Pd_ID)
);

-- Order lines consolidated into a document (a reception).
CREATE TABLE IF NOT EXISTS Documento_Consolidado (
  dc_documento        TEXT NOT NULL COLLATE NOCASE,
  Dc_Documento_id     TEXT NOT NULL COLLATE NOCASE,
  Dc_Documento_origen TEXT NOT NULL COLLATE NOCASE,
  Dc_Tabla_Origen     TEXT NOT NULL COLLATE NOCASE,
  Es_Cve_Estado       TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Dc_Documento_origen, Dc_Tabla_Origen, dc_documento, Dc_Documento_id)
);

-- Digital vouchers issued for documents (a transport document: 'TRASLADO').
CREATE TABLE IF NOT EXISTS Comprobante_Digital (
  Cd_Numero     INTEGER PRIMARY KEY,
  Cd_Tabla      TEXT NOT NULL COLLATE NOCASE,
  Cd_Documento  TEXT NOT NULL COLLATE NOCASE,
  Cd_UUID       TEXT COLLATE NOCASE,
  Cd_Fecha      DATETIME,
  Es_Cve_Estado TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE
);
CREATE INDEX IF NOT EXISTS IX_Comprobante_Digital_Documento
  ON Comprobante_Digital (Cd_Tabla, Cd_Documento);

-- Branches. Sc_Centro_Distribucion names the branch that supplies this one;
-- Sc_Servidor_Id is the server that serves it ("" = the central server).
CREATE TABLE IF NOT EXISTS Sucursal (
  Sc_Cve_Sucursal        TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  Sc_Descripcion         TEXT COLLATE NOCASE,
  Sc_Servidor_Id         TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Sc_Centro_Distribucion TEXT COLLATE NOCASE,
  Sc_Traslado_Serie      TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Em_Cve_Empresa         TEXT COLLATE NOCASE,
  Sc_Centro_Costo        TEXT COLLATE NOCASE,
  Sc_Cuenta_Contable     TEXT COLLATE NOCASE,
  Es_Cve_Estado          TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE
);

-- Warehouses of a branch with their capabilities (1 = kept, 0 = not kept).
-- Al_Transito marks the transit warehouse of a branch.
CREATE TABLE IF NOT EXISTS Almacen (
  Sc_Cve_Sucursal    TEXT NOT NULL COLLATE NOCASE,
  Al_Cve_Almacen     TEXT NOT NULL COLLATE NOCASE,
  Al_Descripcion     TEXT COLLATE NOCASE,
  Al_Centro_Costo    TEXT COLLATE NOCASE,
  Al_Cuenta_Contable TEXT COLLATE NOCASE,
  Al_Maneja_Talla    INTEGER NOT NULL DEFAULT 0,
  Al_Maneja_Color    INTEGER NOT NULL DEFAULT 0,
  Al_Maneja_Lote     INTEGER NOT NULL DEFAULT 0,
  Al_Maneja_Serie    INTEGER NOT NULL DEFAULT 0,
  Al_Transito        INTEGER NOT NULL DEFAULT 0,
  Es_Cve_Estado      TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Sc_Cve_Sucursal, Al_Cve_Almacen)
);

-- Products. Pr_Tipo_Producto: "01" to "04" carry stock ("02" lots, "03"
-- serial numbers), "99" carries none.
CREATE TABLE IF NOT EXISTS Producto (
  Pr_Cve_Producto     TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  Pr_Descripcion      TEXT COLLATE NOCASE,
  Pr_Tipo_Producto    TEXT COLLATE NOCASE,
  Pr_Tipo_Costeo      TEXT COLLATE NOCASE,
  Pr_Unidad_Control_1 TEXT COLLATE NOCASE,
  Pr_Unidad_Control_2 TEXT COLLATE NOCASE,
  Pr_Unidad_Costo     TEXT COLLATE NOCASE,
  Pr_Cuenta_Contable  TEXT COLLATE NOCASE,
  Es_Cve_Estado       TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE
);

CREATE TABLE IF NOT EXISTS Unidad (
  Un_Cve_Unidad  TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  Un_Descripcion TEXT COLLATE NOCASE,
  Es_Cve_Estado  TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE
);

-- Suite parameters. Pa_Tipo: 'B' logical ("1"/"0"), 'T' text, 'N' number.
CREATE TABLE IF NOT EXISTS Parametro (
  Pa_Cve_Parametro TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  Pa_Valor         TEXT COLLATE NOCASE,
  Pa_Tipo          TEXT NOT NULL DEFAULT 'T' COLLATE NOCASE,
  Pa_Descripcion   TEXT COLLATE NOCASE,
  Es_Cve_Estado    TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE
);

-- Last folio handed out per branch and document kind.
CREATE TABLE IF NOT EXISTS Folio (
  Sc_Cve_Sucursal TEXT NOT NULL COLLATE NOCASE,
  Fo_Documento    TEXT NOT NULL COLLATE NOCASE,
  Fo_Consecutivo  INTEGER NOT NULL DEFAULT 0,
  Es_Cve_Estado   TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Sc_Cve_Sucursal, Fo_Documento)
);

-- Last number handed out per branch and fiscal series.
CREATE TABLE IF NOT EXISTS Serie_Consecutivo (
  Sc_Cve_Sucursal TEXT NOT NULL COLLATE NOCASE,
  Se_Serie        TEXT NOT NULL COLLATE NOCASE,
  Se_Consecutivo  INTEGER NOT NULL DEFAULT 0,
  Es_Cve_Estado   TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Sc_Cve_Sucursal, Se_Serie)
);

-- Operating periods of a module: 'AC' open, 'CE' closed.
CREATE TABLE IF NOT EXISTS Periodo_Operativo (
  Pe_Modulo       TEXT NOT NULL COLLATE NOCASE,
  Pe_Fecha_Inicio DATE NOT NULL,
  Pe_Fecha_Fin    DATE NOT NULL,
  Es_Cve_Estado   TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Pe_Modulo, Pe_Fecha_Inicio)
);

-- Sizes and colours a product exists in. A product with rows in
-- Producto_Talla_Color exists only in those combinations.
CREATE TABLE IF NOT EXISTS Producto_Talla (
  Pr_Cve_Producto TEXT NOT NULL COLLATE NOCASE,
  Tl_Cve_Talla    TEXT NOT NULL COLLATE NOCASE,
  Es_Cve_Estado   TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Pr_Cve_Producto, Tl_Cve_Talla)
);
CREATE TABLE IF NOT EXISTS Producto_Color (
  Pr_Cve_Producto TEXT NOT NULL COLLATE NOCASE,
  Cl_Cve_Color    TEXT NOT NULL COLLATE NOCASE,
  Es_Cve_Estado   TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Pr_Cve_Producto, Cl_Cve_Color)
);
CREATE TABLE IF NOT EXISTS Producto_Talla_Color (
  Pr_Cve_Producto TEXT NOT NULL COLLATE NOCASE,
  Tl_Cve_Talla    TEXT NOT NULL COLLATE NOCASE,
  Cl_Cve_Color    TEXT NOT NULL COLLATE NOCASE,
  Es_Cve_Estado   TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color)
);

-- Quantity of Fc_Unidad_Destino in one Fc_Unidad_Origen; Pr_Cve_Producto ''
-- is the factor for every product without one of its own.
CREATE TABLE IF NOT EXISTS Factor_Conversion (
  Pr_Cve_Producto   TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Fc_Unidad_Origen  TEXT NOT NULL COLLATE NOCASE,
  Fc_Unidad_Destino TEXT NOT NULL COLLATE NOCASE,
  Fc_Factor         REAL NOT NULL CHECK (Fc_Factor > 0),
  Es_Cve_Estado     TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE,
  PRIMARY KEY (Pr_Cve_Producto, Fc_Unidad_Origen, Fc_Unidad_Destino)
);

-- Every document and line handed to DataServices.Procesar_Documento.
CREATE TABLE IF NOT EXISTS Documento_Procesado (
  Dp_Numero     INTEGER PRIMARY KEY,
  Dp_Entidad    TEXT NOT NULL COLLATE NOCASE,
  Dp_Folio      TEXT NOT NULL COLLATE NOCASE,
  Dp_ID         TEXT NOT NULL DEFAULT '' COLLATE NOCASE,
  Dp_Fecha      DATETIME NOT NULL,
  Oper_Alta     TEXT COLLATE NOCASE,
  Es_Cve_Estado TEXT NOT NULL DEFAULT 'AC' COLLATE NOCASE
);
CREATE INDEX IF NOT EXISTS IX_Documento_Procesado_Folio
  ON Documento_Procesado (Dp_Entidad, Dp_Folio, Dp_ID);

-- Keys of the client's choosing under which a write ran (safe retries): a
-- key compares as every code does (any case); the digest tells the same request from
-- another one under the same key.
CREATE TABLE IF NOT EXISTS Clave_Operacion (
  Co_Clave   TEXT PRIMARY KEY COLLATE NOCASE,
  Co_Comando TEXT NOT NULL COLLATE NOCASE,
  Co_Resumen TEXT NOT NULL COLLATE NOCASE,
  Co_Folio   TEXT NOT NULL COLLATE NOCASE,
  Oper_Alta  TEXT COLLATE NOCASE,
  Fecha_Alta DATETIME NOT NULL
);

CREATE TABLE IF NOT EXISTS Version_Esquema (
  Ve_Version INTEGER NOT NULL,
  Ve_Fecha   DATETIME NOT NULL
);
)sql";
}

}  // namespace qbx::suite
