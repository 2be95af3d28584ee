// The component's object in process: start-up of module Publico (its order,
// one state per apartment), failing statuses, the member table of
// _Transferencia and late binding through IDispatch. A failing start-up: the
// registration round trip.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "component/transferencia_client.h"
#include "records/interface.h"
#include "records/itransferencia.h"
#include "services/inventory_services.h"
#include "services/system_services.h"
#include "tests/component/support.h"
#include "tests/doubles/doubles.h"
#include "transfer/publico.h"

namespace qbx::test {
namespace {

using com::DISPID;
using com::HRESULT;
using K = com::InvokeKind;
using iface::MemberKind;
namespace dispid = iface::dispid;

const std::string kClosed = "3709 The connection is closed. [ADODB.Connection]";
const RuntimeError kClosedError(3709, "The connection is closed.", "ADODB.Connection");

void Arrange(FakeSuite& suite, const char* server, const char* en_transito, const char* deposito) {
  suite.script.Answer("System.Obtener_Servidor_Id", Variant(server));
  suite.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", Variant(en_transito));
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", Variant(deposito));
}

struct StartUpTest : ::testing::Test {
  StartUpTest() {
    ResetApartment(), Arrange(suite, "SRV-01", "0", "S05,S07");
    for (std::string cls : {"System", "Data", "Inventory"})  // creations journaled too
      suite.script.On("Create." + cls, [this, cls](const std::vector<Variant>&) {
        suite.journal.Add("Create " + cls);
        return Variant(false);
      });
  }
  ~StartUpTest() override { ResetApartment(); }
  FakeSuite suite;
  ScopedProvider provider{&suite};
};

TEST_F(StartUpTest, RunsInOrderOnceForAllObjectsOfTheThread) {
  {
    TransferenciaClient first = TransferenciaClient::Create();
    EXPECT_EQ(suite.journal.Dump(false), R"(Create System
Create Data
System.Obtener_Servidor_Id()
System.Obtener_Parametro("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", 0&, "B", "1")
System.Obtener_Parametro("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", 0&, "T", "")
Create Inventory
Create Inventory
Create Inventory
)");
    // A second object shares the state; it has its own three inventory objects.
    TransferenciaClient second = TransferenciaClient::Create();
    EXPECT_EQ(suite.journal.Starting("System.Obtener_").size(), 3u) << suite.journal.Dump();
    EXPECT_EQ(std::pair(suite.Created("Data"), suite.Created("Inventory")), std::pair(1, 6));
  }
  // Another thread is another apartment: a state of its own, released with it.
  FakeSuite other;
  Arrange(other, "SRV-02", "1", "S11");
  std::thread([&] {
    ScopedProvider provider(&other);
    TransferenciaClient there = TransferenciaClient::Create();
    EXPECT_EQ(ModuleState().servidor_id + " " + ModuleState().deposito_fiscal, "SRV-02 S11");
    EXPECT_TRUE(ModuleState().en_transito);
  }).join();
  EXPECT_EQ(std::pair(other.Created("System"), other.Alive("System") + other.Alive("Data")),
            std::pair(1, 0));
  EXPECT_EQ(ModuleState().servidor_id + " " + ModuleState().deposito_fiscal, "SRV-01 S05,S07");
  EXPECT_EQ(std::pair(suite.Created("System"), suite.Alive("System")), std::pair(1, 1));
  ResetApartment();
  EXPECT_FALSE(ModuleStarted());
  EXPECT_EQ(suite.Alive("System") + suite.Alive("Data"), 0);
}

// Identifiers numbered by first appearance, shared by the read and the write
// of a property; every name resolves in any case (lower case: below).
TEST(Members, IdentifiersAndNames) {
  std::map<std::string, DISPID> first;
  for (const iface::Member& m : iface::kMembers) {
    SCOPED_TRACE(m.name);
    const DISPID next = static_cast<DISPID>(first.size()) + 1;
    EXPECT_EQ(m.dispid, first.emplace(std::string(m.name), next).first->second);
    EXPECT_EQ(iface::FindMember(m.dispid, m.kind), &m);
    for (const std::string& name : {std::string(m.name), UCase(m.name)})
      EXPECT_EQ(iface::FindDispId(name), m.dispid) << name;
    if (m.kind == MemberKind::PropertyLet) {
      const iface::Member* get = iface::FindMember(m.dispid, MemberKind::PropertyGet);
      ASSERT_NE(get, nullptr);
      EXPECT_EQ(m.param, "Valor");
      EXPECT_EQ(m.param_type, get->result);
    }
  }
  for (const char* name : {"Encabezad", "Encabezado "})  // near misses
    EXPECT_EQ(iface::FindDispId(name), com::DISPID_UNKNOWN) << "'" << name << "'";
  // Properties written: each has its read (above); Error is read-only.
  for (DISPID id : {dispid::Encabezado, dispid::Inventario_Pendiente, dispid::Detalle,
                    dispid::MostrarMensajeError})
    EXPECT_NE(iface::FindMember(id, MemberKind::PropertyLet), nullptr) << id;
}

// Refusals never reach the object: a member of another kind, an argument too
// many or too few, one of the wrong type. Then calls convert their arguments
// and results; a raised error becomes the status and the error information.
TEST_F(StartUpTest, LateBoundCallsAndRaisedErrors) {
  const com::ComPtr<ITransferencia> object = TransferenciaClient::Create().object();
  com::IDispatch& dispatch = *object.get();
  Variant result;
  // The call's result, or its failing status and the result after it.
  auto call = [&](DISPID id, K kind, std::vector<Variant> args = {}) {
    result = Variant("untouched");
    const HRESULT status = dispatch.Invoke(id, kind, args, &result);
    return (status == com::S_OK ? "" : std::to_string(status) + " ") + result.Describe();
  };
  tTrEncabezado header;
  std::tie(header.Tr_Fecha, header.Tr_Tipo, header.Sucursal.Sc_Cve_Sucursal, header.GeneraOC) =
      std::tuple(Date::FromCalendar(2024, 3, 5), "EN", "S1", true);
  const Variant header_record = Variant::FromRecord(iface::kRecordEncabezado, header);
  suite.journal.Clear();
  const Variant line = Variant::FromRecord(iface::kRecordDetalle, tTrDetalle{});
  const HRESULT kNotFound = com::DISP_E_MEMBERNOTFOUND, kCount = com::DISP_E_BADPARAMCOUNT,
                kType = com::DISP_E_TYPEMISMATCH;
  // clang-format off
  const std::tuple<DISPID, K, std::vector<Variant>, HRESULT> refusals[] = {
      {dispid::Error, K::PropertyPut, {"x"}, kNotFound}, {dispid::Encabezado, K::Method, {}, kNotFound},
      {dispid::Nuevo, K::PropertyGet, {}, kNotFound},
      {dispid::Nuevo, K::Method, {int32_t{1}}, kCount},
      {dispid::Encabezado, K::PropertyPut, {}, kCount},
      {dispid::Cancelar_Transferencia, K::Method, {Missing{}}, kCount},
      {dispid::Encabezado, K::PropertyPut, {line}, kType},
      {dispid::Finalizar_Transferencia, K::Method, {Null{}}, kType}};
  // clang-format on
  for (const auto& [id, kind, args, status] : refusals)
    EXPECT_EQ(call(id, kind, args), std::to_string(status) + " \"untouched\"") << id;
  EXPECT_TRUE(suite.journal.entries().empty()) << suite.journal.Dump();
  DISPID id = 0;
  EXPECT_EQ(dispatch.GetIDsOfNames("Inserta_Transferencia", &id), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, com::DISPID_UNKNOWN);
  ASSERT_EQ(dispatch.GetIDsOfNames("encabezado", &id), com::S_OK);
  // A property write gives Empty; the read gives the record the object holds,
  // which reached the service with the record's branch.
  EXPECT_EQ(call(id, K::PropertyPut, {header_record}), "Empty");
  call(id, K::PropertyGet);
  tTrEncabezado early;
  ASSERT_EQ(object->get_Encabezado(&early), com::S_OK);
  EXPECT_EQ(result.Record<tTrEncabezado>(iface::kRecordEncabezado), early);
  EXPECT_TRUE(early.Tr_Tipo == "EN" && early.GeneraOC);
  EXPECT_FALSE(suite.journal.Containing("\"S1\"").empty()) << suite.journal.Dump();
  // Property writes convert their argument; reads give Booleans and Strings;
  // a Sub gives Empty; a result pointer is optional.
  EXPECT_EQ(call(dispid::Inventario_Pendiente, K::PropertyPut, {Variant("True")}), "Empty");
  EXPECT_EQ(call(dispid::Inventario_Pendiente, K::PropertyGet), "True");
  EXPECT_EQ(call(dispid::Error, K::PropertyGet), "\"\"");
  EXPECT_EQ(call(dispid::Nuevo, K::Method), "Empty");
  std::vector<Variant> args;
  EXPECT_EQ(dispatch.Invoke(dispid::Done, K::Method, args, nullptr), com::S_OK);
  // A String parameter is by reference: the argument comes back as a String.
  args = {Variant(int32_t{12})};
  ASSERT_EQ(dispatch.Invoke(dispid::Cancelar_Transferencia, K::Method, args, &result), com::S_OK);
  EXPECT_EQ(args[0], Variant(std::string("12")));
  EXPECT_EQ(result.type(), Variant::Type::Boolean);
  // A raised error becomes the status and the error information.
  suite.script.Fail("Data.Obtener_Valor_Campo", kClosedError);
  suite.script.Fail("Data.Obtener_Fecha_Servidor", RuntimeError(kErrOverflow, "Overflow"));
  EXPECT_EQ(object->put_Encabezado(&header), com::FromErrorNumber(3709));
  EXPECT_EQ(Taken(), kClosed);
  // Without a source of its own the error is the component's.
  EXPECT_EQ(object->Nuevo(), com::FromErrorNumber(kErrOverflow));
  EXPECT_EQ(Taken(), "6 Overflow [Quelbarix]");
  // Late bound: DISP_E_EXCEPTION with the same information, the result untouched.
  EXPECT_EQ(call(dispid::Encabezado, K::PropertyPut, {header_record}),
            std::to_string(com::DISP_E_EXCEPTION) + " \"untouched\"");
  EXPECT_EQ(Taken(), kClosed);
  // The client helper raises it (the tool's only guard against a failed write).
  TransferenciaClient client{object};
  EXPECT_EQ(Raised([&] { client.SetEncabezado(header); }), kClosed);
}

}  // namespace
}  // namespace qbx::test
