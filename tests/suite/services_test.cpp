// SystemServices and DataServices on a real database with the sample
// catalogue.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "automation/registry.h"
#include "services/inventory_services.h"
#include "services/registration_services.h"
#include "services/system_services.h"
#include "suite/config.h"
#include "suite/database.h"
#include "suite/sample.h"
#include "tests/suite/suite_fixture.h"

namespace qbx::suite::test {
namespace {

class ServicesTest : public SuiteTest {
 protected:
  void SetUp() override {
    SuiteTest::SetUp();
    system_ = Make<ISystemServices>(kClsidSystemServices);
    data_ = Make<IDataServices>(kClsidDataServices);
  }
  // Inserts a minimal transfer row.
  void AddLine(const std::string& folio, const std::string& id) {
    Db()->Run("INSERT INTO Transferencia (Tr_Folio, Tr_ID) VALUES (?1, ?2)", {folio, id});
  }

  com::ComPtr<ISystemServices> system_;
  com::ComPtr<IDataServices> data_;
};

TEST_F(ServicesTest, FieldValuesByKeyWithSecondKeyAndExcludedState) {
  Db()->Run(
      "INSERT INTO Unidad (Un_Cve_Unidad, Un_Descripcion) VALUES ('P''Z', 'Pieza de O''Brien')");
  struct Case {
    std::string table, key, value, result, key2, value2, excluded, expected;
  } cases[] = {
      {"Almacen", "Al_Cve_Almacen", "GRL", "Al_Descripcion", "Sc_Cve_Sucursal", "NORTE", "BA",
       "Almacén general"},
      {"Almacen", "Al_Cve_Almacen", "OBS", "Al_Descripcion", "Sc_Cve_Sucursal", "NORTE", "BA", ""},
      {"Almacen", "Al_Cve_Almacen", "OBS", "Al_Descripcion", "Sc_Cve_Sucursal", "NORTE", "",
       "Almacén dado de baja"},
      {"Almacen", "Al_Cve_Almacen", "OBS", "Al_Descripcion", "Sc_Cve_Sucursal", "SUR", "", ""},
      {"Sucursal", "Sc_Cve_Sucursal", "REMOTA", "Sc_Servidor_Id", "", "", "", "SRV-REMOTA"},
      {"Sucursal", "Sc_Cve_Sucursal", "NORTE", "Sc_Servidor_Id", "", "", "", ""},
      // Names and codes in any case; the second key is ignored without its column.
      {"SUCURSAL", "sc_cve_sucursal", "norte", "SC_CENTRO_DISTRIBUCION", "", "SUR", "", "CEDIS"},
      {"Unidad", "Un_Cve_Unidad", "DOC", "Un_Descripcion", "", "", "BA", ""},
      {"Unidad", "Un_Cve_Unidad", "CJA", "Un_Descripcion", "", "", "BA", "Caja"},
      // The product's catalogue values the detail is filled from.
      {"Producto", "Pr_Cve_Producto", "MED-LOTE", "Pr_Tipo_Producto", "", "", "", "02"},
      {"Producto", "Pr_Cve_Producto", "MED-LOTE", "Pr_Tipo_Costeo", "", "", "", "P"},
      {"Producto", "Pr_Cve_Producto", "MED-LOTE", "Pr_Unidad_Control_1", "", "", "", "CJA"},
      {"Producto", "Pr_Cve_Producto", "MED-LOTE", "Pr_Unidad_Control_2", "", "", "", "PZA"},
      {"Producto", "Pr_Cve_Producto", "MED-LOTE", "Pr_Unidad_Costo", "", "", "", "CJA"},
      {"Transferencia", "Tr_Folio", "NADA", "Es_Cve_Estado", "", "", "", ""},
      // Values holding single quotes are values, not statement text.
      {"Unidad", "Un_Cve_Unidad", "P'Z", "Un_Descripcion", "", "", "BA", "Pieza de O'Brien"},
      {"Unidad", "Un_Cve_Unidad", "x' OR '1'='1", "Un_Descripcion", "", "", "", ""},
      // Numbers and dates as text.
      {"Almacen", "Al_Cve_Almacen", "ROP", "Al_Maneja_Talla", "Sc_Cve_Sucursal", "CEDIS", "", "1"},
      {"Pedido", "Pd_Folio", "PED-0002", "Pd_Cantidad_1", "Pd_ID", "0002", "", "12"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(data_->Obtener_Valor_Campo(c.table, c.key, c.value, c.result, 0, c.key2, c.value2,
                                         c.excluded),
              c.expected)
        << c.table << " " << c.key << "=" << c.value << " -> " << c.result;
    EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");
  }
}

TEST_F(ServicesTest, FieldValueIdentifiersAreCheckedAgainstTheSchema) {
  struct Case {
    std::string table, key, result, key2, named;
  } cases[] = {
      {"Sucursales", "Sc_Cve_Sucursal", "Sc_Descripcion", "", "Sucursales"},
      {"Sucursal", "Sc_Clave", "Sc_Descripcion", "", "Sc_Clave"},
      {"Sucursal", "Sc_Cve_Sucursal", "Sc_Descripcion; DROP TABLE Sucursal", "",
       "Sc_Descripcion; DROP TABLE Sucursal"},
      {"Sucursal", "Sc_Cve_Sucursal", "Sc_Descripcion", "Otra", "Otra"},
  };
  for (const Case& c : cases) {
    RuntimeError e = ErrorOf(
        [&] { data_->Obtener_Valor_Campo(c.table, c.key, "CEDIS", c.result, 0, c.key2, "x", ""); });
    EXPECT_EQ(e.number(), kErrSuite);
    EXPECT_NE(e.description().find("'" + c.named + "'"), std::string::npos) << e.description();
    EXPECT_EQ(data_->Obtener_Ultimo_Error(), e.description());
  }
  EXPECT_EQ(data_->Obtener_Valor_Campo("Sucursal", "Sc_Cve_Sucursal", "CEDIS", "Sc_Descripcion", 0,
                                       "", "", ""),
            "Centro de distribución");
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");
}

TEST_F(ServicesTest, NextIdsAreLineNumbersOrderedAsNumbers) {
  EXPECT_EQ(data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F1", "", ""),
            "0001");
  for (const char* id : {"0001", "0002", "0009"}) AddLine("F1", id);
  EXPECT_EQ(data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F1", "", ""),
            "0010");
  AddLine("F1", "9999");
  EXPECT_EQ(data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F1", "", ""),
            "10000");
  AddLine("F1", "10000");
  // As text "9999" sorts after "10000"; as numbers it does not.
  EXPECT_EQ(data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F1", "", ""),
            "10001");
  // Other folios, and a folio holding a quote, have their own numbering.
  AddLine("O'F", "0004");
  EXPECT_EQ(data_->Obtener_Siguiente_Id("Transferencia", "tr_id", "TR_FOLIO", "O'F", "", ""),
            "0005");
  EXPECT_EQ(data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F2", "", ""),
            "0001");
  EXPECT_EQ(ErrorOf([&] {
              data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID) FROM x --", "Tr_Folio", "F1", "",
                                          "");
            }).number(),
            kErrSuite);
}

// One index step per call whatever the document's size: the statement the
// service sends is answered from the index, without sorting.
TEST_F(ServicesTest, NextIdReadsOneIndexEntry) {
  auto db = Db();
  std::string sent;
  db->SetTraceSink([&](Origin, std::string_view text) {
    if (text.find("CAST(") != std::string_view::npos) sent = text;
  });
  data_->Obtener_Siguiente_Id("TRANSFERENCIA", "Tr_ID", "Tr_Folio", "F1", "", "");
  db->SetTraceSink(nullptr);
  ASSERT_FALSE(sent.empty());
  auto plan = db->PrepareOnce("EXPLAIN QUERY PLAN " + sent, Origin::Suite);
  std::string details;
  while (plan->Step()) details += plan->Column("detail").ToString() + "\n";
  EXPECT_NE(details.find("IX_Transferencia_Id_Numero"), std::string::npos) << details;
  EXPECT_EQ(details.find("TEMP B-TREE"), std::string::npos) << details;
  EXPECT_EQ(details.find("SCAN"), std::string::npos) << details;
}

TEST_F(ServicesTest, FoliosAreNewAndCarryTheBranch) {
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "Transferencia", 10, true), Variant("CEDIS-0000000001"));
  EXPECT_EQ(data_->Obtener_Folio("cedis", "TRANSFERENCIA", 10, true), Variant("CEDIS-0000000002"));
  EXPECT_EQ(data_->Obtener_Folio("NORTE", "Transferencia", 10, true), Variant("NORTE-0000000001"));
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "TRASLADO", 10, true), Variant("CEDIS-0000000001"));
  // Without consuming, the next one is shown and still handed out later.
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "Transferencia", 10, false), Variant("CEDIS-0000000003"));
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "Transferencia", 4, true), Variant("CEDIS-0003"));
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");

  EXPECT_EQ(data_->Obtener_Folio("NADA", "Transferencia", 10, true), Variant(""));
  EXPECT_NE(data_->Obtener_Ultimo_Error().find("NADA"), std::string::npos);
  EXPECT_EQ(data_->Obtener_Folio("", "Transferencia", 10, true), Variant(""));
  EXPECT_NE(data_->Obtener_Ultimo_Error(), "");
  EXPECT_EQ(data_->Obtener_Folio("CEDIS", "", 10, true), Variant(""));
  EXPECT_NE(data_->Obtener_Ultimo_Error(), "");
}

TEST_F(ServicesTest, SeriesNumbersCountPerBranchAndSeries) {
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("CEDIS", "TC", 4), 1);
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("CEDIS", "TC", 4), 2);
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("CEDIS", "A", 4), 1);
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("NORTE", "TC", 4), 1);
  EXPECT_EQ(data_->Obtener_Consecutivo_Serie("CEDIS", "", 4), 1);
}

TEST_F(ServicesTest, ParametersByKindWithDefaults) {
  auto db = Db();
  db->Run("INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo) VALUES (?1, ?2, ?3)",
          {"PRUEBA_NULO", Null{}, "B"});
  db->Run("INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo) VALUES (?1, ?2, ?3)",
          {"PRUEBA_APAGADO", "0", "B"});
  db->Run("INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo) VALUES (?1, ?2, ?3)",
          {"PRUEBA_NUMERO", "2.5", "N"});
  db->Run(
      "INSERT INTO Parametro (Pa_Cve_Parametro, Pa_Valor, Pa_Tipo, Es_Cve_Estado) "
      "VALUES (?1, ?2, ?3, 'BA')",
      {"PRUEBA_BAJA", "1", "B"});
  struct Case {
    std::string name, kind, default_value;
    Variant expected;
  } cases[] = {
      {"MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", "B", "1", true},
      {"MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", "T", "", ""},
      {"GEN_VALIDAR_PERIODO_OPERATIVO", "", "", true},  // the stored kind applies
      {"MOV_ALMACEN_TRANSITO_TRANSFERENCIA", "", "", "TR"},
      {"MOV_SALIDA_TRANSFERENCIA", "", "", "STR"},
      {"mov_entrada_transito", "", "", "ETT"},
      {"PRUEBA_APAGADO", "B", "1", false},
      {"PRUEBA_APAGADO", "T", "", "0"},
      {"PRUEBA_NULO", "B", "1", Null{}},
      {"PRUEBA_NUMERO", "", "", 2.5},
      // Missing (or deactivated): the default, Null when it is "".
      {"NO_EXISTE", "B", "1", true},
      {"NO_EXISTE", "B", "0", false},
      {"NO_EXISTE", "T", "abc", "abc"},
      {"NO_EXISTE", "T", "", Null{}},
      {"NO_EXISTE", "", "", Null{}},
      {"PRUEBA_BAJA", "B", "", Null{}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(system_->Obtener_Parametro(c.name, 0, c.kind, c.default_value), c.expected)
        << c.name << " kind " << c.kind << " default " << c.default_value;
  }
  db->Run("UPDATE Parametro SET Pa_Valor = 'quizás' WHERE Pa_Cve_Parametro = 'PRUEBA_APAGADO'");
  RuntimeError e = ErrorOf([&] { system_->Obtener_Parametro("PRUEBA_APAGADO", 0, "B", ""); });
  EXPECT_NE(e.description().find("PRUEBA_APAGADO"), std::string::npos);
}

TEST_F(ServicesTest, ConversionFactors) {
  struct Case {
    std::string product, from, to;
    double expected;
  } cases[] = {
      {"TORN-001", "PZA", "PZA", 1},
      {"CUALQUIERA", "XYZ", "xyz", 1},       // a unit to itself, known or not
      {"TORN-001", "CJA", "PZA", 12},        // generic
      {"MED-LOTE", "CJA", "PZA", 24},        // the product's own
      {"TORN-001", "PZA", "CJA", 1.0 / 12},  // inverse of the generic
      {"MED-LOTE", "PZA", "CJA", 1.0 / 24},  // inverse of the product's own
      {"AZUCAR", "KG", "GR", 1000},
      {"AZUCAR", "gr", "kg", 0.001},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(data_->Obtener_Factor_Conversion(c.product, c.from, c.to), c.expected)
        << c.product << " " << c.from << " -> " << c.to;
  }
  RuntimeError e = ErrorOf([&] { data_->Obtener_Factor_Conversion("TORN-001", "PZA", "KG"); });
  EXPECT_EQ(e.number(), kErrSuite);
  EXPECT_NE(e.description().find("PZA"), std::string::npos);
  EXPECT_NE(e.description().find("KG"), std::string::npos);
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), e.description());
}

TEST_F(ServicesTest, DateTextsSortAsDates) {
  struct Case {
    Date date;
    std::string day, moment;
  } cases[] = {
      {Date::FromCalendar(2024, 3, 5), "2024-03-05", "2024-03-05 00:00:00"},
      {Date::FromCalendar(2024, 3, 5, 14, 30, 15), "2024-03-05", "2024-03-05 14:30:15"},
      {Date::FromCalendar(1999, 12, 31, 23, 59, 59), "1999-12-31", "1999-12-31 23:59:59"},
      {Date(0), "1899-12-30", "1899-12-30 00:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(data_->Formatear_Fecha(c.date), c.day);
    EXPECT_EQ(data_->Formatear_Fecha_Hora(c.date), c.moment);
  }
  // The server's date is now, to the second.
  const Date now = data_->Obtener_Fecha_Servidor();
  const double seconds =
      (now.serial() - Date::Parse(data_->Formatear_Fecha_Hora(now)).serial()) * 86400;
  EXPECT_LT(std::abs(seconds), 1.0);
  EXPECT_GT(now.ToCalendar().year, 2023);
}

TEST_F(ServicesTest, OperatingPeriodOpenForTheCurrentYearOnly) {
  const int year = data_->Obtener_Fecha_Servidor().ToCalendar().year;
  struct Case {
    Date date;
    std::string module;
    bool open;
  } cases[] = {
      {Date::FromCalendar(year, 6, 1), "INVENTARIOS", true},
      {Date::FromCalendar(year, 12, 31, 23, 0, 0), "INVENTARIOS", true},
      {Date::FromCalendar(year + 1, 1, 1, 8, 0, 0), "inventarios", true},
      {Date::FromCalendar(year - 1, 6, 1), "INVENTARIOS", false},  // closed
      {Date::FromCalendar(year + 2, 1, 1), "INVENTARIOS", false},  // missing
      {Date::FromCalendar(year, 6, 1), "VENTAS", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(data_->Validar_Periodo_Operativo(c.date, c.module, 0), c.open)
        << data_->Formatear_Fecha(c.date) << " " << c.module;
    EXPECT_EQ(data_->Obtener_Ultimo_Error().empty(), c.open) << data_->Formatear_Fecha(c.date);
  }
}

TEST_F(ServicesTest, SizeAndColourRelations) {
  struct Case {
    std::string product, size, colour;
    bool size_ok, colour_ok, both_ok;
  } cases[] = {
      {"CAMISA-01", "MD", "BCO", true, true, true},
      {"camisa-01", "md", "bco", true, true, true},
      {"CAMISA-01", "GD", "AZL", true, true, false},  // not among its combinations
      {"CAMISA-01", "XL", "BCO", false, true, false},
      {"CAMISA-01", "CH", "ROJ", true, false, false},
      {"TORN-001", "MD", "BCO", false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(data_->Existe_Producto_Talla(c.product, c.size), c.size_ok) << c.product << c.size;
    EXPECT_EQ(data_->Obtener_Ultimo_Error().empty(), c.size_ok);
    EXPECT_EQ(data_->Existe_Producto_Color(c.product, c.colour), c.colour_ok) << c.colour;
    EXPECT_EQ(data_->Obtener_Ultimo_Error().empty(), c.colour_ok);
    EXPECT_EQ(data_->Existe_Producto_Talla_Color(c.product, c.size, c.colour), c.both_ok)
        << c.size << "/" << c.colour;
    EXPECT_EQ(data_->Obtener_Ultimo_Error().empty(), c.both_ok);
  }
}

TEST_F(ServicesTest, ProcessedDocumentsAreLogged) {
  EXPECT_TRUE(data_->Procesar_Documento("DETALLE_TRANSFERENCIA", "CEDIS-0000000001", "0001"));
  EXPECT_TRUE(data_->Procesar_Documento("TRANSFERENCIA", "CEDIS-0000000001", ""));
  EXPECT_EQ(Db()->QueryValue("SELECT COUNT(*) FROM Documento_Procesado WHERE Dp_Folio = ?1",
                             {"CEDIS-0000000001"}),
            Variant(int32_t{2}));
  EXPECT_EQ(Db()->QueryValue("SELECT Oper_Alta FROM Documento_Procesado WHERE Dp_ID = '0001'"),
            Variant("ADMIN"));
  EXPECT_FALSE(data_->Procesar_Documento("TRANSFERENCIA", "", ""));
  EXPECT_NE(data_->Obtener_Ultimo_Error(), "");
  // The next operation starts with no error.
  EXPECT_TRUE(data_->Procesar_Documento("TRANSFERENCIA", "X", ""));
  EXPECT_EQ(data_->Obtener_Ultimo_Error(), "");
}

TEST_F(ServicesTest, PostedDocumentsAreFoundInTheAccountingEntries) {
  EXPECT_FALSE(data_->Documento_Contabilizado("TRANSFERENCIA", "CEDIS-0000000001"));
  Db()->Run("INSERT INTO Poliza (Po_Folio, Po_Tabla, Po_Documento) VALUES ('P1', ?1, ?2)",
            {"TRANSFERENCIA", "CEDIS-0000000001"});
  EXPECT_TRUE(data_->Documento_Contabilizado("TRANSFERENCIA", "CEDIS-0000000001"));
  EXPECT_TRUE(data_->Documento_Contabilizado("Transferencia", "cedis-0000000001"));
  Db()->Run("UPDATE Poliza SET Es_Cve_Estado = 'CA'");
  EXPECT_FALSE(data_->Documento_Contabilizado("TRANSFERENCIA", "CEDIS-0000000001"));
  // A suite without accounting entries has posted nothing.
  Db()->Exec("DROP TABLE Poliza");
  EXPECT_FALSE(data_->Documento_Contabilizado("TRANSFERENCIA", "CEDIS-0000000001"));
}

TEST_F(ServicesTest, OperatorAndServerComeFromTheConfiguration) {
  struct Case {
    const char* operator_code;
    const char* server;
    std::string expected_operator, expected_server;
    bool branch;
  } cases[] = {
      {nullptr, nullptr, "ADMIN", "", false},
      {"MGARCIA", "", "MGARCIA", "", false},
      {"MGARCIA", "SRV-REMOTA", "MGARCIA", "SRV-REMOTA", true},
  };
  for (const Case& c : cases) {
    if (c.operator_code)
      setenv("QUELBARIX_OPERATOR", c.operator_code, 1);
    else
      unsetenv("QUELBARIX_OPERATOR");
    if (c.server)
      setenv("QUELBARIX_SERVER_ID", c.server, 1);
    else
      unsetenv("QUELBARIX_SERVER_ID");
    EXPECT_EQ(system_->Obtener_Usuario(), c.expected_operator);
    EXPECT_EQ(system_->Obtener_Servidor_Id(), c.expected_server);
    EXPECT_EQ(system_->Es_Servidor_Sucursal(), c.branch);
  }
  unsetenv("QUELBARIX_OPERATOR");
  unsetenv("QUELBARIX_SERVER_ID");
}

TEST_F(ServicesTest, MessagesGoToTheSinkWithoutWaiting) {
  std::vector<std::string> shown;
  SetMessageSink([&](std::string_view text) { shown.emplace_back(text); });
  Variant answer = system_->Mostrar_Mensaje("La unidad no existe", 16, "Property Let Detalle()",
                                            Missing{}, "Quelbarix", "ERR-ID:7500001");
  EXPECT_EQ(answer, Variant(int32_t{1}));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "[Property Let Detalle()] La unidad no existe (Quelbarix ERR-ID:7500001)");
  system_->Mostrar_Mensaje("Solo texto", 16, Missing{}, Missing{}, Null{}, "");
  EXPECT_EQ(shown.back(), "Solo texto");
}

TEST_F(ServicesTest, EveryServiceClassIsCreatedByItsIdentifier) {
  struct Case {
    Guid clsid, iid;
  } cases[] = {
      {kClsidSystemServices, ISystemServices::IID},
      {kClsidDataServices, IDataServices::IID},
      {kClsidInventoryServices, IInventoryServices::IID},
      {kClsidSeriesServices, ISeriesServices::IID},
      {kClsidLotServices, ILotServices::IID},
      {kClsidPostingServices, IPostingServices::IID},
      {kClsidVoucherServices, IVoucherServices::IID},
  };
  const long before = SuiteModule().Value();
  for (const Case& c : cases) {
    void* out = nullptr;
    ASSERT_EQ(LinkedProvider().CreateInstance(c.clsid, c.iid, &out), com::S_OK)
        << c.clsid.ToString();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(SuiteModule().Value(), before + 1);
    static_cast<com::IUnknown*>(out)->Release();
    EXPECT_EQ(SuiteModule().Value(), before);
  }
  void* out = nullptr;
  EXPECT_EQ(LinkedProvider().CreateInstance(kClsidDataServices, IInventoryServices::IID, &out),
            com::E_NOINTERFACE);
}

}  // namespace
}  // namespace qbx::suite::test

extern "C" qbx::com::HRESULT DllGetClassObject(const qbx::Guid* clsid, const qbx::Guid* iid,
                                               void** out);
extern "C" qbx::com::HRESULT DllCanUnloadNow();
extern "C" qbx::com::HRESULT DllRegisterServer();
extern "C" qbx::com::HRESULT DllUnregisterServer();

namespace qbx::suite::test {
namespace {

TEST_F(ServicesTest, ExportsServeTheClassesAndRegisterThem) {
  data_ = nullptr;
  system_ = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), com::S_OK);
  com::ComPtr<com::IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(&kClsidDataServices, &com::IClassFactory::IID,
                              reinterpret_cast<void**>(factory.put())),
            com::S_OK);
  EXPECT_EQ(DllCanUnloadNow(), com::S_FALSE);
  com::ComPtr<IDataServices> data;
  ASSERT_EQ(
      factory->CreateInstance(nullptr, IDataServices::IID, reinterpret_cast<void**>(data.put())),
      com::S_OK);
  EXPECT_EQ(data->Formatear_Fecha(Date::FromCalendar(2024, 3, 5)), "2024-03-05");
  factory = nullptr;
  data = nullptr;
  EXPECT_EQ(DllCanUnloadNow(), com::S_OK);
  void* out = nullptr;
  const Guid unknown = MakeGuid("{00000000-1111-2222-3333-444444444444}");
  EXPECT_EQ(DllGetClassObject(&unknown, &com::IClassFactory::IID, &out),
            com::CLASS_E_CLASSNOTAVAILABLE);

  // Registered, the classes are created through the registry by identifier
  // and by ProgID; unregistered, they are not.
  ASSERT_EQ(DllRegisterServer(), com::S_OK);
  com::ComPtr<ISystemServices> system;
  ASSERT_EQ(com::CreateFromRegistry(kClsidSystemServices, ISystemServices::IID,
                                    reinterpret_cast<void**>(system.put())),
            com::S_OK);
  EXPECT_EQ(system->Obtener_Parametro("MOV_ALMACEN_TRANSITO_TRANSFERENCIA", 0, "T", ""),
            Variant("TR"));
  com::ComPtr<IInventoryServices> inventory;
  EXPECT_EQ(com::CreateByName("QuelbarixSuite.InventoryServices", IInventoryServices::IID,
                              reinterpret_cast<void**>(inventory.put())),
            com::S_OK);
  ASSERT_EQ(DllUnregisterServer(), com::S_OK);
  EXPECT_TRUE(com::Failed(com::CreateFromRegistry(kClsidSystemServices, ISystemServices::IID,
                                                  reinterpret_cast<void**>(system.put()))));
}

TEST_F(ServicesTest, DatabaseOpensWithTheSuitesDurability) {
  auto db = Db();
  EXPECT_EQ(db->QueryValue("PRAGMA journal_mode"), Variant("wal"));
  EXPECT_EQ(db->QueryValue("PRAGMA busy_timeout"), Variant(int32_t{kBusyTimeoutMs}));
  EXPECT_EQ(db->QueryValue("PRAGMA synchronous"), Variant(int32_t{1}));  // NORMAL
}

class MissingDatabaseTest : public SuiteTest {};

TEST_F(MissingDatabaseTest, CreationNamesTheMissingFileAndInitRefusesAnExistingOne) {
  const std::string missing = dir() + "/no-existe.db";
  SetDatabasePath(missing);
  void* out = nullptr;
  EXPECT_TRUE(
      com::Failed(LinkedProvider().CreateInstance(kClsidDataServices, IDataServices::IID, &out)));
  com::ErrorInfo info = com::TakeErrorInfo();
  EXPECT_NE(info.description.find(missing), std::string::npos) << info.description;
  EXPECT_FALSE(std::filesystem::exists(missing));

  RuntimeError e = ErrorOf([&] { CreateDatabase(db_path(), true); });
  EXPECT_EQ(e.number(), kErrSuite);
  EXPECT_NE(e.description().find(db_path()), std::string::npos);
  // The existing database is untouched.
  SetDatabasePath(db_path());
  EXPECT_EQ(Db()->QueryValue("SELECT COUNT(*) FROM Sucursal"), Variant(int32_t{5}));
}

}  // namespace
}  // namespace qbx::suite::test
