#include "cli/trace.h"

#include <gtest/gtest.h>

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

// Every class decorated under its own name, each object numbered; one line of
// each kind (new, call, result, error); each call reaches its own object and
// its error reaches the caller as raised.
TEST(CliTracingProvider, PrintsEachCallAndForwardsItUnchanged) {
  test::FakeSuite fake;
  fake.script.Queue("Inventory.Obtener_Tipo_Producto", {Variant("02")});
  fake.script.Fail("Data.Formatear_Fecha", RuntimeError(13, "Type mismatch", "Suite"));
  std::vector<std::string> lines;
  TracingProvider provider(fake, [&](std::string_view line) { lines.emplace_back(line); });
  for (const Guid& clsid : {kClsidSystemServices, kClsidSeriesServices, kClsidLotServices,
                            kClsidPostingServices, kClsidVoucherServices})
    Make<com::IUnknown>(provider, clsid);
  Make<IInventoryServices>(provider, kClsidInventoryServices)->Nuevo_Movimiento();
  EXPECT_EQ(Make<IInventoryServices>(provider, kClsidInventoryServices)->Obtener_Tipo_Producto("X"),
            "02");
  try {
    Make<IDataServices>(provider, kClsidDataServices)
        ->Formatear_Fecha(Date::FromCalendar(2024, 3, 5));
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::to_string(e.number()) + " " + e.description() + " [" + e.source() + "]",
              "13 Type mismatch [Suite]");
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "new SystemServices#1", "new SeriesServices#2", "new LotServices#3",
                       "new PostingServices#4", "new VoucherServices#5", "new InventoryServices#6",
                       "InventoryServices#6.Nuevo_Movimiento()", "new InventoryServices#7",
                       "InventoryServices#7.Obtener_Tipo_Producto(\"X\")", "  = \"02\"",
                       "new DataServices#8", "DataServices#8.Formatear_Fecha(#2024-03-05#)",
                       "  raised error 13: Type mismatch"}));
  EXPECT_EQ(fake.journal.entries(),
            (std::vector<std::string>{"Inventory#1.Nuevo_Movimiento()",
                                      "Inventory#2.Obtener_Tipo_Producto(\"X\")",
                                      "Data.Formatear_Fecha(#2024-03-05#)"}));
}

}  // namespace
}  // namespace qbx::cli
