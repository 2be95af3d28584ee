// The component's object in process: start-up of module Publico (its order,
// its failures, one state per apartment), failing statuses, and late binding
// through IDispatch.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "component/server.h"
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
namespace dispid = iface::dispid;

// Journals each creation ("Create System") before handing it to the doubles.
struct CreationJournal : com::ObjectProvider {
  explicit CreationJournal(FakeSuite& s) : suite(s) {}
  com::HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override {
    suite.journal.Add("Create " + (clsid == kClsidSystemServices      ? "System"
                                   : clsid == kClsidDataServices      ? "Data"
                                   : clsid == kClsidInventoryServices ? "Inventory"
                                                                      : clsid.ToString()));
    return suite.CreateInstance(clsid, iid, out);
  }
  FakeSuite& suite;
};

constexpr const char* kEnTransito = "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO";
constexpr const char* kDepositoFiscal = "MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL";

void Arrange(FakeSuite& suite, const char* server, const char* en_transito, const char* deposito) {
  suite.script.Answer("System.Obtener_Servidor_Id", Variant(server));
  suite.Parameter(kEnTransito, Variant(en_transito));
  suite.Parameter(kDepositoFiscal, Variant(deposito));
}

struct StartUpTest : ::testing::Test {
  StartUpTest() { ResetApartment(), Arrange(suite, "SRV-01", "0", "S05,S07"); }
  ~StartUpTest() override { ResetApartment(); }
  FakeSuite suite;
  CreationJournal creations{suite};
  ScopedProvider provider{&creations};
};

TEST_F(StartUpTest, RunsInOrderOnceForAllObjectsOfTheThread) {
  EXPECT_FALSE(ModuleStarted());
  {
    TransferenciaClient first = TransferenciaClient::Create();
    const std::vector<std::string> expected = {
        "Create System",
        "Create Data",
        "System.Obtener_Servidor_Id()",
        "System.Obtener_Parametro(\"MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO\", 0&, \"B\", \"1\")",
        "System.Obtener_Parametro(\"MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL\", 0&, \"T\", \"\")",
        "Create Inventory",
        "Create Inventory",
        "Create Inventory"};
    EXPECT_EQ(suite.journal.entries(), expected) << suite.journal.Dump();
    EXPECT_FALSE(ModuleState().en_transito);
    // A second object shares the state; it has its own three inventory objects.
    TransferenciaClient second = TransferenciaClient::Create();
    EXPECT_EQ(suite.journal.Starting("System.Obtener_").size(), 3u) << suite.journal.Dump();
    EXPECT_EQ(std::pair(suite.Created("Data"), suite.Created("Inventory")), std::pair(1, 6));
  }
  EXPECT_TRUE(ModuleStarted());
  EXPECT_EQ(suite.Alive("System"), 1);
  ResetApartment();
  EXPECT_FALSE(ModuleStarted());
  EXPECT_EQ(suite.Alive("System") + suite.Alive("Data"), 0);
}

// One failing step per case: the creator gets the step's own error through
// the class factory, the apartment stays unstarted and nothing created is kept.
TEST(StartUpFailure, ReachesTheCreatorAndLeavesNothingStarted) {
  const struct {
    void (*arrange)(FakeSuite&);
    std::string error;
  } cases[] = {
      {[](FakeSuite& s) { s.script.Answer("Create.System", Variant(true)); },
       "429 ActiveX component can't create object [Quelbarix]"},
      {[](FakeSuite& s) {
         s.script.Fail("Create.Data", RuntimeError(70, "Permission denied", "SuiteData"));
       },
       "70 Permission denied [SuiteData]"},
      {[](FakeSuite& s) {
         s.script.Fail("System.Obtener_Servidor_Id",
                       RuntimeError(3709, "The connection is closed.", "ADODB.Connection"));
       },
       "3709 The connection is closed. [ADODB.Connection]"},
      {[](FakeSuite& s) { s.Parameter(kEnTransito, Variant("quizá")); },
       "13 Type mismatch [Quelbarix]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    ResetApartment();
    FakeSuite suite;
    ScopedProvider provider(&suite);
    Arrange(suite, "SRV-01", "1", "");
    c.arrange(suite);
    com::ComPtr<com::IClassFactory> factory;
    ASSERT_EQ(component::Server().GetClassObject(&iface::kClsidTransferencia,
                                                 &com::IClassFactory::IID, factory.put()),
              com::S_OK);
    com::ComPtr<ITransferencia> object;
    EXPECT_EQ(factory->CreateInstance(nullptr, ITransferencia::IID, object.put()),
              com::FromErrorNumber(std::stoi(c.error)));
    EXPECT_FALSE(object);
    EXPECT_EQ(Taken(), c.error);
    factory.Reset();
    EXPECT_FALSE(ModuleStarted());
    EXPECT_EQ(suite.Alive("System") + suite.Alive("Data") + suite.Created("Inventory"), 0);
    EXPECT_EQ(component::Server().CanUnloadNow(), com::S_OK);
  }
  ResetApartment();
}

TEST_F(StartUpTest, AFailedStartUpIsTriedAgainOnTheNextUse) {
  suite.Parameter(kDepositoFiscal, Variant(Null{}));
  EXPECT_THROW(TransferenciaClient::Create(), RuntimeError);
  EXPECT_FALSE(ModuleStarted());
  suite.Parameter(kDepositoFiscal, Variant("S09"));
  TransferenciaClient object = TransferenciaClient::Create();
  EXPECT_EQ(ModuleState().deposito_fiscal, "S09");
  EXPECT_EQ(std::pair(suite.Created("System"), suite.Alive("System")), std::pair(2, 1));
  EXPECT_EQ(suite.journal.Starting("System.Obtener_Servidor_Id").size(), 2u);
}

TEST_F(StartUpTest, TwoThreadsGetTwoStates) {
  TransferenciaClient here = TransferenciaClient::Create();
  ISystemServices* main_system = ModuleState().system.get();
  FakeSuite other;
  Arrange(other, "SRV-02", "1", "S11");
  std::thread([&] {
    ScopedProvider provider(&other);
    EXPECT_FALSE(ModuleStarted());
    TransferenciaClient there = TransferenciaClient::Create();
    Publico& m = ModuleState();
    EXPECT_EQ(m.servidor_id + " " + m.deposito_fiscal, "SRV-02 S11");
    EXPECT_TRUE(m.en_transito);
    EXPECT_NE(m.system.get(), main_system);
  }).join();
  // The thread's services went with its apartment; this thread's state is untouched.
  EXPECT_EQ(other.Created("System"), 1);
  EXPECT_EQ(other.Alive("System") + other.Alive("Data"), 0);
  EXPECT_EQ(ModuleState().servidor_id + " " + ModuleState().deposito_fiscal, "SRV-01 S05,S07");
  EXPECT_EQ(ModuleState().system.get(), main_system);
  EXPECT_EQ(suite.Created("System"), 1);
}

class ServerTest : public StartUpTest {
 protected:
  ServerTest() {
    header.Tr_Fecha = Date::FromCalendar(2024, 3, 5);
    header.Tr_Tipo = "EN";
    header.Sucursal.Sc_Cve_Sucursal = "S1";
    header.GeneraOC = true;
  }
  ~ServerTest() override { object_ = nullptr; }

  ITransferencia& Object() {
    if (!object_) object_ = TransferenciaClient::Create().object();
    return *object_.get();
  }
  HRESULT Invoke(DISPID id, K kind, std::vector<Variant> args, Variant* result) {
    return static_cast<com::IDispatch&>(Object()).Invoke(id, kind, args, result);
  }
  Variant HeaderRecord() const { return Variant::FromRecord(iface::kRecordEncabezado, header); }

  tTrEncabezado header;

 private:
  com::ComPtr<ITransferencia> object_;
};

TEST_F(ServerTest, ARaisedErrorBecomesTheStatusAndTheErrorInformation) {
  suite.script.Fail("Data.Obtener_Valor_Campo",
                    RuntimeError(3709, "The connection is closed.", "ADODB.Connection"));
  suite.script.Fail("Data.Obtener_Fecha_Servidor", RuntimeError(kErrOverflow, "Overflow"));
  const std::string closed = "3709 The connection is closed. [ADODB.Connection]";
  EXPECT_EQ(Object().put_Encabezado(&header), com::FromErrorNumber(3709));
  EXPECT_EQ(Taken(), closed);
  // Without a source of its own the error is the component's.
  EXPECT_EQ(Object().Nuevo(), com::FromErrorNumber(kErrOverflow));
  EXPECT_EQ(Taken(), "6 Overflow [Quelbarix]");
  // Late bound: DISP_E_EXCEPTION with the same information, the result untouched.
  Variant result("untouched");
  EXPECT_EQ(Invoke(dispid::Encabezado, K::PropertyPut, {HeaderRecord()}, &result),
            com::DISP_E_EXCEPTION);
  EXPECT_EQ(result, Variant("untouched"));
  EXPECT_EQ(Taken(), closed);
  // The client helper raises it.
  TransferenciaClient client{com::ComPtr<ITransferencia>(&Object())};
  EXPECT_EQ(Raised([&] { client.SetEncabezado(header); }), closed);
}

TEST_F(ServerTest, LateBoundCallsConvertArgumentsAndResults) {
  com::IDispatch& dispatch = Object();
  DISPID read = com::DISPID_UNKNOWN, write = com::DISPID_UNKNOWN, none = 0;
  ASSERT_EQ(dispatch.GetIDsOfNames("encabezado", &read), com::S_OK);
  ASSERT_EQ(dispatch.GetIDsOfNames("ENCABEZADO", &write), com::S_OK);
  EXPECT_EQ(read, write);
  EXPECT_EQ(dispatch.GetIDsOfNames("Inserta_Transferencia", &none), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(none, com::DISPID_UNKNOWN);
  // A property write gives Empty; the read gives the record the object holds,
  // which reached the service with the record's branch.
  Variant result("untouched");
  ASSERT_EQ(Invoke(write, K::PropertyPut, {HeaderRecord()}, &result), com::S_OK);
  EXPECT_TRUE(result.IsEmpty());
  ASSERT_EQ(Invoke(read, K::PropertyGet, {}, &result), com::S_OK);
  tTrEncabezado early;
  ASSERT_EQ(Object().get_Encabezado(&early), com::S_OK);
  EXPECT_EQ(result.Record<tTrEncabezado>(iface::kRecordEncabezado), early);
  EXPECT_TRUE(early.Tr_Tipo == "EN" && early.GeneraOC);
  EXPECT_FALSE(suite.journal.Containing("\"S1\"").empty()) << suite.journal.Dump();
  // Property writes convert their argument; reads give Booleans and Strings.
  ASSERT_EQ(Invoke(dispid::Inventario_Pendiente, K::PropertyPut, {Variant("True")}, &result),
            com::S_OK);
  ASSERT_EQ(Invoke(dispid::Inventario_Pendiente, K::PropertyGet, {}, &result), com::S_OK);
  EXPECT_EQ(result, Variant(true));
  ASSERT_EQ(Invoke(dispid::Error, K::PropertyGet, {}, &result), com::S_OK);
  EXPECT_EQ(result, Variant(std::string()));
  // A Sub gives Empty; a result pointer is optional.
  ASSERT_EQ(Invoke(dispid::Nuevo, K::Method, {}, &result), com::S_OK);
  EXPECT_TRUE(result.IsEmpty());
  EXPECT_EQ(Invoke(dispid::Done, K::Method, {}, nullptr), com::S_OK);
  // A String parameter is by reference: the argument comes back as a String.
  std::vector<Variant> args = {Variant(int32_t{12})};
  ASSERT_EQ(dispatch.Invoke(dispid::Cancelar_Transferencia, K::Method, args, &result), com::S_OK);
  EXPECT_EQ(args[0], Variant(std::string("12")));
  EXPECT_EQ(result.type(), Variant::Type::Boolean);
}

TEST_F(ServerTest, LateBoundRefusalsNeverReachTheObject) {
  Object();
  suite.journal.Clear();
  const Variant line = Variant::FromRecord(iface::kRecordDetalle, tTrDetalle{});
  const HRESULT kNotFound = com::DISP_E_MEMBERNOTFOUND, kCount = com::DISP_E_BADPARAMCOUNT,
                kType = com::DISP_E_TYPEMISMATCH;
  const struct {
    const char* what;
    DISPID id;
    K kind;
    std::vector<Variant> args;
    HRESULT status;
  } cases[] = {
      {"read-only property written", dispid::Error, K::PropertyPut, {"x"}, kNotFound},
      {"property called as a method", dispid::Encabezado, K::Method, {}, kNotFound},
      {"method read as a property", dispid::Nuevo, K::PropertyGet, {}, kNotFound},
      {"argument to a Sub without parameters", dispid::Nuevo, K::Method, {int32_t{1}}, kCount},
      {"property written without its value", dispid::Encabezado, K::PropertyPut, {}, kCount},
      {"folio omitted", dispid::Cancelar_Transferencia, K::Method, {Missing{}}, kCount},
      {"line record for the header", dispid::Encabezado, K::PropertyPut, {line}, kType},
      {"text that is no Boolean", dispid::Inventario_Pendiente, K::PropertyPut, {"tal vez"}, kType},
      {"Null folio", dispid::Finalizar_Transferencia, K::Method, {Null{}}, kType},
  };
  for (const auto& c : cases) {
    Variant result("untouched");
    EXPECT_EQ(Invoke(c.id, c.kind, c.args, &result), c.status) << c.what;
    EXPECT_EQ(result, Variant("untouched")) << c.what;
  }
  EXPECT_TRUE(suite.journal.entries().empty()) << suite.journal.Dump();
}

}  // namespace
}  // namespace qbx::test
