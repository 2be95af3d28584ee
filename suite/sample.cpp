#include "suite/sample.h"

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "automation/value.h"
#include "suite/database.h"

namespace qbx::suite {
namespace {

using Row = std::vector<Variant>;

void InsertAll(Database& db, std::string_view sql, const std::vector<Row>& rows) {
  Statement& st = db.Prepare(sql);
  for (const Row& row : rows) st.Bind(row).Run();
}

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

void Branches(Database& db) {
  using namespace sample;
  // The distribution centre supplies itself; a branch served by a server of
  // its own and a deactivated branch show the refusals.
  InsertAll(
      db,
      "INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Sc_Servidor_Id, "
      "Sc_Centro_Distribucion, Sc_Traslado_Serie, Em_Cve_Empresa, Sc_Centro_Costo, "
      "Sc_Cuenta_Contable, Es_Cve_Estado) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
      {
          {kCedis, "Centro de distribución", "", kCedis, "TC", "EMP01", "CC-100", "115-01-001",
           "AC"},
          {kBranchNorth, "Sucursal Norte", "", kCedis, "TN", "EMP01", "CC-200", "115-01-002", "AC"},
          {kBranchSouth, "Sucursal Sur", "", kCedis, "TS", "EMP01", "CC-300", "115-01-003", "AC"},
          {"REMOTA", "Sucursal con servidor propio", "SRV-REMOTA", kCedis, "TR", "EMP02", "CC-400",
           "115-01-004", "AC"},
          {"CERRADA", "Sucursal dada de baja", "", kCedis, "TX", "EMP01", "CC-900", "115-01-009",
           "BA"},
      });

  struct Kind {
    const char* code;
    const char* description;
    int size, colour, lot, serial, transit;
  };
  const Kind kinds[] = {
      {kWarehouseGeneral, "Almacén general", 0, 0, 0, 0, 0},
      {kWarehouseApparel, "Almacén de ropa (tallas y colores)", 1, 1, 0, 0, 0},
      {kWarehouseLots, "Almacén de lotes", 0, 0, 1, 0, 0},
      {kWarehouseSerials, "Almacén de números de serie", 0, 0, 0, 1, 0},
      {kTransitWarehouse, "Almacén de tránsito", 1, 1, 1, 1, 1},
  };
  std::vector<Row> rows;
  for (const char* branch : {kCedis, kBranchNorth, kBranchSouth, "REMOTA"}) {
    int n = 0;
    for (const Kind& k : kinds) {
      ++n;
      rows.push_back({branch, k.code, k.description, std::string("CC-") + branch,
                      "115-02-" + std::to_string(n), k.size, k.colour, k.lot, k.serial, k.transit,
                      "AC"});
    }
  }
  rows.push_back(
      {kBranchNorth, "OBS", "Almacén dado de baja", "CC-NORTE", "115-02-9", 0, 0, 0, 0, 0, "BA"});
  InsertAll(db,
            "INSERT INTO Almacen (Sc_Cve_Sucursal, Al_Cve_Almacen, Al_Descripcion, "
            "Al_Centro_Costo, Al_Cuenta_Contable, Al_Maneja_Talla, Al_Maneja_Color, "
            "Al_Maneja_Lote, Al_Maneja_Serie, Al_Transito, Es_Cve_Estado) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)",
            rows);
}

void Products(Database& db) {
  using namespace sample;
  InsertAll(db,
            "INSERT INTO Unidad (Un_Cve_Unidad, Un_Descripcion, Es_Cve_Estado) VALUES (?1, ?2, ?3)",
            {
                {"PZA", "Pieza", "AC"},
                {"CJA", "Caja", "AC"},
                {"PAQ", "Paquete", "AC"},
                {"KG", "Kilogramo", "AC"},
                {"GR", "Gramo", "AC"},
                {"SRV", "Servicio", "AC"},
                {"DOC", "Docena (dada de baja)", "BA"},
            });
  InsertAll(
      db,
      "INSERT INTO Producto (Pr_Cve_Producto, Pr_Descripcion, Pr_Tipo_Producto, "
      "Pr_Tipo_Costeo, Pr_Unidad_Control_1, Pr_Unidad_Control_2, Pr_Unidad_Costo, "
      "Pr_Cuenta_Contable, Es_Cve_Estado) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
      {
          {kProductPlain, "Tornillo hexagonal 1/4\"", "01", "P", "PZA", "CJA", "PZA", "115-03-001",
           "AC"},
          {kProductApparel, "Camisa de manga larga", "01", "P", "PZA", "PZA", "PZA", "115-03-002",
           "AC"},
          {kProductLot, "Medicamento controlado por lote", "02", "P", "CJA", "PZA", "CJA",
           "115-03-003", "AC"},
          {kProductSerial, "Computadora portátil", "03", "P", "PZA", "PZA", "PZA", "115-03-004",
           "AC"},
          {kProductType4, "Kit de herramientas", "04", "P", "PAQ", "PZA", "PAQ", "115-03-005",
           "AC"},
          {kProductService, "Servicio de instalación", "99", "P", "SRV", "SRV", "SRV", "115-03-006",
           "AC"},
          {"AZUCAR", "Azúcar estándar", "01", "P", "KG", "GR", "KG", "115-03-007", "AC"},
          {"DESCONT", "Producto descontinuado", "01", "P", "PZA", "PZA", "PZA", "115-03-009", "BA"},
      });
  // Generic factors, and one product with boxes of its own size.
  InsertAll(db,
            "INSERT INTO Factor_Conversion (Pr_Cve_Producto, Fc_Unidad_Origen, "
            "Fc_Unidad_Destino, Fc_Factor) VALUES (?1, ?2, ?3, ?4)",
            {
                {"", "CJA", "PZA", 12.0},
                {"", "PAQ", "PZA", 6.0},
                {"", "KG", "GR", 1000.0},
                {kProductLot, "CJA", "PZA", 24.0},
            });
  const char* sizes[] = {"CH", "MD", "GD"};
  const char* colours[] = {"BCO", "NGO", "AZL"};
  std::vector<Row> size_rows, colour_rows, combination_rows;
  for (const char* s : sizes) size_rows.push_back({kProductApparel, s});
  for (const char* c : colours) colour_rows.push_back({kProductApparel, c});
  for (const char* s : sizes) {
    for (const char* c : colours) {
      // Large comes in white and black only.
      if (std::string(s) == "GD" && std::string(c) == "AZL") continue;
      combination_rows.push_back({kProductApparel, s, c});
    }
  }
  InsertAll(db, "INSERT INTO Producto_Talla (Pr_Cve_Producto, Tl_Cve_Talla) VALUES (?1, ?2)",
            size_rows);
  InsertAll(db, "INSERT INTO Producto_Color (Pr_Cve_Producto, Cl_Cve_Color) VALUES (?1, ?2)",
            colour_rows);
  InsertAll(db,
            "INSERT INTO Producto_Talla_Color (Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color) "
            "VALUES (?1, ?2, ?3)",
            combination_rows);
}

void Parameters(Database& db) {
  using namespace sample;
  InsertAll(db,
            "INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo, Pa_Descripcion) "
            "VALUES (?1, ?2, ?3, ?4)",
            {
                {"MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", "1", "B",
                 "Generar movimientos del almacén de tránsito en envíos y recepciones"},
                {"MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", "", "T",
                 "Sucursales que son depósito fiscal"},
                {"GEN_VALIDAR_PERIODO_OPERATIVO", "1", "B",
                 "Validar el período operativo de la fecha de los documentos"},
                {"MOV_SALIDA_TRANSFERENCIA", kKindIssueTransfer, "T",
                 "Tipo de movimiento de salida por transferencia"},
                {"MOV_ENTRADA_TRANSITO", kKindEntryTransit, "T",
                 "Tipo de movimiento de entrada al almacén de tránsito"},
                {"MOV_SALIDA_TRANSITO", kKindIssueTransit, "T",
                 "Tipo de movimiento de salida del almacén de tránsito"},
                {"MOV_ENTRADA_TRANSFERENCIA", kKindEntryTransfer, "T",
                 "Tipo de movimiento de entrada por transferencia"},
                {"MOV_ALMACEN_TRANSITO_TRANSFERENCIA", kTransitWarehouse, "T",
                 "Almacén de tránsito de las transferencias"},
            });
}

void Periods(Database& db) {
  const int year = CurrentYear();
  auto day = [](int y, int m, int d) { return DateText(Date::FromCalendar(y, m, d)); };
  // Last year is closed; this year and the next are open.
  InsertAll(db,
            "INSERT INTO Periodo_Operativo (Pe_Modulo, Pe_Fecha_Inicio, Pe_Fecha_Fin, "
            "Es_Cve_Estado) VALUES (?1, ?2, ?3, ?4)",
            {
                {"INVENTARIOS", day(year - 1, 1, 1), day(year - 1, 12, 31), "CE"},
                {"INVENTARIOS", day(year, 1, 1), day(year, 12, 31), "AC"},
                {"INVENTARIOS", day(year + 1, 1, 1), day(year + 1, 12, 31), "AC"},
            });
}

void Orders(Database& db) {
  using namespace sample;
  const int year = CurrentYear();
  const std::string date = DateText(Date::FromCalendar(year, 1, 15));
  const std::string delivery = DateText(Date::FromCalendar(year, 1, 22));
  InsertAll(
      db,
      "INSERT INTO Pedido (Pd_Folio, Pd_ID, Sc_Cve_Sucursal, Al_Cve_Almacen, Pd_Fecha, "
      "Pd_Fecha_Entrega, Pr_Cve_Producto, Tl_Cve_Talla, Cl_Cve_Color, Es_Cve_Estado, "
      "Pd_Cantidad_1, Pd_Unidad_1, Pd_Unidad_Control_1, Pd_Unidad_Control_2, "
      "Pd_Cantidad_Control_1, Pd_Cantidad_Control_2, Pd_Sucursal_Inventario, "
      "Pd_Almacen_Inventario) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, "
      "?18)",
      {
          {"PED-0001", "0001", kBranchNorth, kWarehouseGeneral, date, delivery, kProductPlain, "00",
           "00", "AC", 150.0, "PZA", "PZA", "CJA", 150.0, 150.0, kCedis, kWarehouseGeneral},
          {"PED-0001", "0002", kBranchNorth, kWarehouseGeneral, date, delivery, kProductType4, "00",
           "00", "AC", 4.0, "PAQ", "PAQ", "PZA", 4.0, 4.0, kCedis, kWarehouseGeneral},
          {"PED-0002", "0001", kBranchSouth, kWarehouseApparel, date, delivery, kProductApparel,
           "MD", "BCO", "AC", 20.0, "PZA", "PZA", "PZA", 20.0, 20.0, kCedis, kWarehouseApparel},
          {"PED-0002", "0002", kBranchSouth, kWarehouseApparel, date, delivery, kProductApparel,
           "GD", "NGO", "AC", 12.0, "PZA", "PZA", "PZA", 12.0, 12.0, kCedis, kWarehouseApparel},
          {"PED-0003", "0001", kBranchSouth, kWarehouseGeneral, date, delivery, kProductPlain, "00",
           "00", "BO", 10.0, "PZA", "PZA", "CJA", 10.0, 10.0, kCedis, kWarehouseGeneral},
      });
}

void RemoveDatabaseFiles(const std::string& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix, ignored);
}

}  // namespace

void CreateSampleCatalogue(Database& db) {
  db.Transaction([&] {
    Branches(db);
    Products(db);
    Parameters(db);
    Periods(db);
    Orders(db);
    CreateSampleStock(db);
  });
}

std::string CreateDatabase(const std::string& path, bool sample) {
  if (path.empty()) RaiseSuiteError("No se indicó la ruta de la base de datos");
  if (IsServerDatabase(path)) {
    // A server's database is made by its administrator; it gets the tables
    // once, all of them or none.
    Database db(path, false);
    if (db.SchemaVersion() > 0) throw ExistingDatabase(path, true);
    db.Transaction([&] {
      db.EnsureSchema();
      if (sample) CreateSampleCatalogue(db);
    });
    return path;
  }
  if (std::filesystem::exists(path)) throw ExistingDatabase(path, false);
  try {
    Database db(path, true);
    db.EnsureSchema();
    if (sample) CreateSampleCatalogue(db);
  } catch (...) {
    RemoveDatabaseFiles(path);  // no half-made database is left behind
    throw;
  }
  return path;
}

}  // namespace qbx::suite
