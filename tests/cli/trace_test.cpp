#include "cli/trace.h"

#include <gtest/gtest.h>

#include <functional>

#include "services/registration_services.h"
#include "services/system_services.h"
#include "tests/doubles/doubles.h"

namespace qbx::cli {
namespace {

template <class I>
com::ComPtr<I> Make(com::ObjectProvider& provider, const Guid& clsid) {
  com::ComPtr<I> p;
  EXPECT_EQ(provider.CreateInstance(clsid, I::IID, p.put()), com::S_OK);
  return p;
}

struct Case {
  const char* name;
  // Creates the object through the provider, makes one call and answers its
  // result as trace text.
  std::function<std::string(com::ObjectProvider&)> call;
  std::string created;  // "new ..." line
  std::string traced;   // the call's line
  std::string result;   // the result line
  std::string journal;  // what reached the decorated object
};

class CliTracingProviderCall : public testing::TestWithParam<Case> {};

TEST_P(CliTracingProviderCall, PrintsTheCallAndForwardsItUnchanged) {
  const Case& c = GetParam();
  test::FakeSuite fake;
  fake.script.Answer("Data.Obtener_Folio", Variant(std::string("F-7")));
  fake.script.Answer("Inventory.Obtener_Existencia", Variant(12.5));
  std::vector<std::string> lines;
  TracingProvider provider(fake, [&](std::string_view line) { lines.emplace_back(line); });

  const std::string result = c.call(provider);

  ASSERT_EQ(lines.size(), c.result.empty() ? 2u : 3u) << testing::PrintToString(lines);
  EXPECT_EQ(lines[0], c.created);
  EXPECT_EQ(lines[1], c.traced);
  if (!c.result.empty()) {
    EXPECT_EQ(lines[2], c.result);
  }
  ASSERT_EQ(fake.journal.entries().size(), 1u) << fake.journal.Dump();
  EXPECT_EQ(fake.journal.entries()[0], c.journal);
}

INSTANTIATE_TEST_SUITE_P(
    Services, CliTracingProviderCall,
    testing::Values(
        Case{"SystemParameter",
             [](com::ObjectProvider& p) {
               auto s = Make<ISystemServices>(p, kClsidSystemServices);
               return TraceText(s->Obtener_Parametro("MOV_X", 0, "B", "1"));
             },
             "new SystemServices#1",
             "SystemServices#1.Obtener_Parametro(\"MOV_X\", 0, \"B\", \"1\")", "  = \"1\"",
             "System.Obtener_Parametro(\"MOV_X\", 0&, \"B\", \"1\")"},
        Case{"DataFolio",
             [](com::ObjectProvider& p) {
               auto d = Make<IDataServices>(p, kClsidDataServices);
               return TraceText(d->Obtener_Folio("CEDIS", "Transferencia", 10, true));
             },
             "new DataServices#1",
             "DataServices#1.Obtener_Folio(\"CEDIS\", \"Transferencia\", 10, True)", "  = \"F-7\"",
             "Data.Obtener_Folio(\"CEDIS\", \"Transferencia\", 10&, True)"},
        Case{"DataValueOfField",
             [](com::ObjectProvider& p) {
               auto d = Make<IDataServices>(p, kClsidDataServices);
               return TraceText(d->Obtener_Valor_Campo("Almacen", "Al_Cve_Almacen", "GRL",
                                                       "Al_Descripcion", 0, "Sc_Cve_Sucursal",
                                                       "NORTE", "BA"));
             },
             "new DataServices#1",
             "DataServices#1.Obtener_Valor_Campo(\"Almacen\", \"Al_Cve_Almacen\", \"GRL\", "
             "\"Al_Descripcion\", 0, \"Sc_Cve_Sucursal\", \"NORTE\", \"BA\")",
             "  = \"\"",
             "Data.Obtener_Valor_Campo(\"Almacen\", \"Al_Cve_Almacen\", \"GRL\", "
             "\"Al_Descripcion\", 0&, \"Sc_Cve_Sucursal\", \"NORTE\", \"BA\")"},
        Case{"InventoryAdjust",
             [](com::ObjectProvider& p) {
               auto i = Make<IInventoryServices>(p, kClsidInventoryServices);
               return TraceText(i->Ajustar_Existencia("CEDIS", "GRL", "P", "00", "01", -3, -0.5));
             },
             "new InventoryServices#1",
             "InventoryServices#1.Ajustar_Existencia(\"CEDIS\", \"GRL\", \"P\", \"00\", \"01\", "
             "-3, -0.5)",
             "  = True",
             "Inventory#1.Ajustar_Existencia(\"CEDIS\", \"GRL\", \"P\", \"00\", \"01\", -3#, "
             "-0.5#)"},
        Case{"InventoryStock",
             [](com::ObjectProvider& p) {
               auto i = Make<IInventoryServices>(p, kClsidInventoryServices);
               return TraceText(i->Obtener_Existencia("CEDIS", "%", "P", "00", "00", 1, ""));
             },
             "new InventoryServices#1",
             "InventoryServices#1.Obtener_Existencia(\"CEDIS\", \"%\", \"P\", \"00\", \"00\", 1, "
             "\"\")",
             "  = 12.5",
             "Inventory#1.Obtener_Existencia(\"CEDIS\", \"%\", \"P\", \"00\", \"00\", 1&, \"\")"},
        Case{"InventoryNewMovementHasNoResult",
             [](com::ObjectProvider& p) {
               auto i = Make<IInventoryServices>(p, kClsidInventoryServices);
               i->Nuevo_Movimiento();
               return std::string();
             },
             "new InventoryServices#1", "InventoryServices#1.Nuevo_Movimiento()", "",
             "Inventory#1.Nuevo_Movimiento()"},
        Case{"SeriesFiscalDeposit",
             [](com::ObjectProvider& p) {
               auto s = Make<ISeriesServices>(p, kClsidSeriesServices);
               return TraceText(s->Registrar_Serie_Deposito_Fiscal(
                   "LAPTOP", "SN1", "PED", Date::FromCalendar(2024, 1, 2), Variant(9.5), 0, true, 0,
                   "", "", "", Variant(int16_t{0}), Variant(int16_t{0}), 0, 0));
             },
             "new SeriesServices#1",
             "SeriesServices#1.Registrar_Serie_Deposito_Fiscal(\"LAPTOP\", \"SN1\", \"PED\", "
             "#2024-01-02#, 9.5, 0, True, 0, \"\", \"\", \"\", 0, 0, 0, 0)",
             "  = True",
             "Series#1.Registrar_Serie_Deposito_Fiscal(\"LAPTOP\", \"SN1\", \"PED\", "
             "#2024-01-02#, 9.5#, 0&, True, 0&, \"\", \"\", \"\", 0%, 0%, 0#, 0#)"},
        Case{"LotRegister",
             [](com::ObjectProvider& p) {
               auto l = Make<ILotServices>(p, kClsidLotServices);
               return TraceText(l->Registrar_Lote("TRANSFERENCIA", "F1", "0001", "MED", "00", "00",
                                                  "L1", 3, 1.5));
             },
             "new LotServices#1",
             "LotServices#1.Registrar_Lote(\"TRANSFERENCIA\", \"F1\", \"0001\", \"MED\", \"00\", "
             "\"00\", \"L1\", 3, 1.5)",
             "  = True",
             "Lot#1.Registrar_Lote(\"TRANSFERENCIA\", \"F1\", \"0001\", \"MED\", \"00\", \"00\", "
             "\"L1\", 3#, 1.5#)"},
        Case{"PostingGenerate",
             [](com::ObjectProvider& p) {
               auto x = Make<IPostingServices>(p, kClsidPostingServices);
               return TraceText(x->Generar_Documento("TRANSFERENCIA", "F1", "EMP01"));
             },
             "new PostingServices#1",
             "PostingServices#1.Generar_Documento(\"TRANSFERENCIA\", \"F1\", \"EMP01\")",
             "  = True", "Posting#1.Generar_Documento(\"TRANSFERENCIA\", \"F1\", \"EMP01\")"},
        Case{"VoucherCancel",
             [](com::ObjectProvider& p) {
               auto v = Make<IVoucherServices>(p, kClsidVoucherServices);
               return TraceText(v->Cancelar_Comprobante("demo", 7, "T1"));
             },
             "new VoucherServices#1", "VoucherServices#1.Cancelar_Comprobante(\"demo\", 7, \"T1\")",
             "  = True", "Voucher#1.Cancelar_Comprobante(\"demo\", 7&, \"T1\")"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(CliTracingProvider, NumbersEveryObjectAndHandsBackTheDecoratedResult) {
  test::FakeSuite fake;
  fake.script.Queue("Inventory.Obtener_Tipo_Producto", {Variant("02"), Variant("99")});
  std::vector<std::string> lines;
  TracingProvider provider(fake, [&](std::string_view line) { lines.emplace_back(line); });
  auto a = Make<IInventoryServices>(provider, kClsidInventoryServices);
  auto b = Make<IInventoryServices>(provider, kClsidInventoryServices);
  EXPECT_EQ(a->Obtener_Tipo_Producto("X"), "02");
  EXPECT_EQ(b->Obtener_Tipo_Producto("Y"), "99");
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "new InventoryServices#1", "new InventoryServices#2",
                       "InventoryServices#1.Obtener_Tipo_Producto(\"X\")", "  = \"02\"",
                       "InventoryServices#2.Obtener_Tipo_Producto(\"Y\")", "  = \"99\""}));
  // Each wrapper reaches its own object.
  EXPECT_EQ(fake.journal.entries(),
            (std::vector<std::string>{"Inventory#1.Obtener_Tipo_Producto(\"X\")",
                                      "Inventory#2.Obtener_Tipo_Producto(\"Y\")"}));
}

TEST(CliTracingProvider, AnErrorIsPrintedAndRaisedUnchanged) {
  test::FakeSuite fake;
  fake.script.Fail("Data.Formatear_Fecha", RuntimeError(13, "Type mismatch", "Suite"));
  std::vector<std::string> lines;
  TracingProvider provider(fake, [&](std::string_view line) { lines.emplace_back(line); });
  auto d = Make<IDataServices>(provider, kClsidDataServices);
  try {
    d->Formatear_Fecha(Date::FromCalendar(2024, 3, 5));
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 13);
    EXPECT_EQ(e.description(), "Type mismatch");
    EXPECT_EQ(e.source(), "Suite");
  }
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], "  raised error 13: Type mismatch");
}

TEST(CliTracingProvider, UnknownClassesAndInterfacesPassThrough) {
  test::FakeSuite fake;
  std::vector<std::string> lines;
  TracingProvider provider(fake, [&](std::string_view line) { lines.emplace_back(line); });
  com::ComPtr<com::IUnknown> unknown;
  EXPECT_TRUE(com::Failed(provider.CreateInstance(
      MakeGuid("{00000000-1111-2222-3333-444444444444}"), com::IUnknown::IID, unknown.put())));
  // The decorated object answers IUnknown and its own interface only.
  com::ComPtr<com::IUnknown> object;
  ASSERT_EQ(provider.CreateInstance(kClsidSystemServices, com::IUnknown::IID, object.put()),
            com::S_OK);
  EXPECT_TRUE(object.As<ISystemServices>());
  EXPECT_FALSE(object.As<IDataServices>());
}

}  // namespace
}  // namespace qbx::cli
