#include "cli/trace.h"

#include <gtest/gtest.h>

#include <type_traits>

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

// Calls an operation with default arguments.
template <class I, class R, class... A>
void CallOp(I& object, R (I::*op)(A...)) {
  (object.*op)(std::decay_t<A>{}...);
}

// Each object is numbered; each call is printed with its arguments as the
// platform writes them, then its result or error, and reaches its own object.
TEST(CliTracingProvider, PrintsEachCallAndForwardsItUnchanged) {
  test::FakeSuite fake;
  fake.script.Queue("Inventory.Obtener_Tipo_Producto", {Variant("02"), Variant("99")});
  fake.script.Fail("Data.Formatear_Fecha", RuntimeError(13, "Type mismatch", "Suite"));
  std::vector<std::string> lines;
  TracingProvider provider(fake, [&](std::string_view line) { lines.emplace_back(line); });
  auto a = Make<IInventoryServices>(provider, kClsidInventoryServices);
  auto b = Make<IInventoryServices>(provider, kClsidInventoryServices);
  EXPECT_EQ(a->Obtener_Tipo_Producto("X"), "02");
  EXPECT_EQ(b->Obtener_Tipo_Producto("Y"), "99");
  b->Nuevo_Movimiento();
  auto s = Make<ISeriesServices>(provider, kClsidSeriesServices);
  EXPECT_TRUE(s->Registrar_Serie_Deposito_Fiscal(
      "LAPTOP", "SN1", "PED", Date::FromCalendar(2024, 1, 2), Variant(9.5), 0, true, -3, "", "", "",
      Variant(int16_t{0}), Variant(int16_t{0}), -0.5, 0));
  auto d = Make<IDataServices>(provider, kClsidDataServices);
  try {
    d->Formatear_Fecha(Date::FromCalendar(2024, 3, 5));
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::to_string(e.number()) + " " + e.description() + " [" + e.source() + "]",
              "13 Type mismatch [Suite]");
  }
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "new InventoryServices#1", "new InventoryServices#2",
                "InventoryServices#1.Obtener_Tipo_Producto(\"X\")", "  = \"02\"",
                "InventoryServices#2.Obtener_Tipo_Producto(\"Y\")", "  = \"99\"",
                "InventoryServices#2.Nuevo_Movimiento()", "new SeriesServices#3",
                "SeriesServices#3.Registrar_Serie_Deposito_Fiscal(\"LAPTOP\", \"SN1\", "
                "\"PED\", #2024-01-02#, 9.5, 0, True, -3, \"\", \"\", \"\", 0, 0, -0.5, 0)",
                "  = True", "new DataServices#4", "DataServices#4.Formatear_Fecha(#2024-03-05#)",
                "  raised error 13: Type mismatch"}));
  EXPECT_EQ(fake.journal.entries(),
            (std::vector<std::string>{
                "Inventory#1.Obtener_Tipo_Producto(\"X\")",
                "Inventory#2.Obtener_Tipo_Producto(\"Y\")", "Inventory#2.Nuevo_Movimiento()",
                "Series#1.Registrar_Serie_Deposito_Fiscal(\"LAPTOP\", \"SN1\", \"PED\", "
                "#2024-01-02#, 9.5#, 0&, True, -3&, \"\", \"\", \"\", 0%, 0%, -0.5#, 0#)",
                "Data.Formatear_Fecha(#2024-03-05#)"}))
      << fake.journal.Dump();
}

// The generated double and trace cover every operation of each contract's
// description, each under its own name, once.
TEST(CliTracingProvider, CoversEveryOperationOfEachContract) {
  test::FakeSuite fake;
  std::vector<std::string> journal, trace, calls;
  TracingProvider provider(fake, [&](std::string_view line) {
    if (!line.starts_with(" ") && !line.starts_with("new "))
      calls.emplace_back(line.substr(0, line.find('(')));
  });
  int label = 0;
#define QBX_CALL_OP(Result, Name, Params, Names) \
  CallOp(*object, &Contract::Name);              \
  journal.push_back(journaled + "." #Name);      \
  trace.push_back(traced + "." #Name);
#define QBX_CALL_CONTRACT(Name, NAME, number)                               \
  {                                                                         \
    using Contract = I##Name##Services;                                     \
    auto object = Make<Contract>(provider, kClsid##Name##Services);         \
    const std::string journaled = #Name number,                             \
                      traced = #Name "Services#" + std::to_string(++label); \
    QBX_##NAME##_SERVICES_OPS(QBX_CALL_OP)                                  \
  }
  QBX_CALL_CONTRACT(System, SYSTEM, "")
  QBX_CALL_CONTRACT(Data, DATA, "")
  QBX_CALL_CONTRACT(Inventory, INVENTORY, "#1")
  QBX_CALL_CONTRACT(Series, SERIES, "#1")
  QBX_CALL_CONTRACT(Lot, LOT, "#1")
  QBX_CALL_CONTRACT(Posting, POSTING, "#1")
  QBX_CALL_CONTRACT(Voucher, VOUCHER, "#1")
#undef QBX_CALL_CONTRACT
#undef QBX_CALL_OP
  EXPECT_EQ(fake.journal.Calls(), journal) << fake.journal.Dump();
  EXPECT_EQ(calls, trace);
}

}  // namespace
}  // namespace qbx::cli
