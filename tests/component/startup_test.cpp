// Module Publico: start-up order, its failures, and one state per apartment.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "component/publico.h"
#include "component/server.h"
#include "component/transferencia_client.h"
#include "services/inventory_services.h"
#include "services/system_services.h"
#include "tests/doubles/doubles.h"

namespace qbx::test {
namespace {

// Journals each creation ("Create System") before handing it to the doubles.
class CreationJournal : public com::ObjectProvider {
 public:
  explicit CreationJournal(FakeSuite& suite) : suite_(suite) {}
  com::HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override {
    std::string name = clsid == kClsidSystemServices      ? "System"
                       : clsid == kClsidDataServices      ? "Data"
                       : clsid == kClsidInventoryServices ? "Inventory"
                                                          : clsid.ToString();
    suite_.journal.Add("Create " + name);
    return suite_.CreateInstance(clsid, iid, out);
  }

 private:
  FakeSuite& suite_;
};

constexpr const char* kEnTransito = "MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO";
constexpr const char* kDepositoFiscal = "MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL";

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest() {
    ResetApartment();
    suite.script.Answer("System.Obtener_Servidor_Id", Variant("SRV-01"));
    suite.Parameter(kEnTransito, Variant("0"));
    suite.Parameter(kDepositoFiscal, Variant("S05,S07"));
  }
  ~StartUpTest() override { ResetApartment(); }

  FakeSuite suite;
  CreationJournal creations{suite};

 private:
  ScopedProvider provider_{&creations};
};

TEST_F(StartUpTest, RunsInOrderBeforeTheFirstObjectWorks) {
  EXPECT_FALSE(ModuleStarted());
  TransferenciaClient object = TransferenciaClient::Create();
  EXPECT_TRUE(ModuleStarted());

  const std::vector<std::string> expected = {
      "Create System",
      "Create Data",
      "System.Obtener_Servidor_Id()",
      "System.Obtener_Parametro(\"MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO\", 0&, \"B\", \"1\")",
      "System.Obtener_Parametro(\"MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL\", 0&, \"T\", \"\")",
      "Create Inventory",
      "Create Inventory",
      "Create Inventory",
  };
  EXPECT_EQ(suite.journal.entries(), expected) << suite.journal.Dump();

  Publico& m = ModuleState();
  EXPECT_EQ(m.servidor_id, "SRV-01");
  EXPECT_FALSE(m.en_transito);
  EXPECT_EQ(m.deposito_fiscal, "S05,S07");
  EXPECT_EQ(suite.Alive("System"), 1);
  EXPECT_EQ(suite.Alive("Data"), 1);
}

TEST_F(StartUpTest, ParameterValuesConvertAsThePlatformDoes) {
  struct Case {
    Variant en_transito;
    Variant deposito;
    bool flag;
    std::string text;
  };
  const Case cases[] = {
      {Variant("1"), Variant(""), true, ""},
      {Variant("False"), Variant(int32_t{12}), false, "12"},
      {Variant(Empty{}), Variant(Empty{}), false, ""},
  };
  for (const Case& c : cases) {
    ResetApartment();
    suite.Parameter(kEnTransito, c.en_transito);
    suite.Parameter(kDepositoFiscal, c.deposito);
    Publico& m = ModuleState();
    EXPECT_EQ(m.en_transito, c.flag) << c.en_transito.Describe();
    EXPECT_EQ(m.deposito_fiscal, c.text) << c.deposito.Describe();
  }
}

// One failing step per case; the creator gets the step's own error, the
// apartment stays unstarted and nothing created is kept.
TEST(StartUpFailure, ReachesTheCreatorAndLeavesNothingStarted) {
  struct Case {
    const char* what;
    void (*arrange)(FakeSuite&);
    int32_t number;
    std::string description;
    std::string source;
  };
  const Case cases[] = {
      {"SystemServices not creatable",
       [](FakeSuite& s) { s.script.Answer("Create.System", Variant(true)); }, 429,
       "ActiveX component can't create object", "Quelbarix"},
      {"DataServices raises while created",
       [](FakeSuite& s) {
         s.script.Fail("Create.Data", RuntimeError(70, "Permission denied", "SuiteData"));
       },
       70, "Permission denied", "SuiteData"},
      {"server id raises",
       [](FakeSuite& s) {
         s.script.Fail("System.Obtener_Servidor_Id",
                       RuntimeError(3709, "The connection is closed.", "ADODB.Connection"));
       },
       3709, "The connection is closed.", "ADODB.Connection"},
      {"in-transit flag is Null", [](FakeSuite& s) { s.Parameter(kEnTransito, Variant(Null{})); },
       94, "Invalid use of Null", "Quelbarix"},
      {"in-transit flag is not a Boolean",
       [](FakeSuite& s) { s.Parameter(kEnTransito, Variant("quizá")); }, 13, "Type mismatch",
       "Quelbarix"},
      {"fiscal-deposit text is Null",
       [](FakeSuite& s) { s.Parameter(kDepositoFiscal, Variant(Null{})); }, 94,
       "Invalid use of Null", "Quelbarix"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetApartment();
    FakeSuite suite;
    ScopedProvider provider(&suite);
    suite.Parameter(kEnTransito, Variant("1"));
    suite.Parameter(kDepositoFiscal, Variant(""));
    c.arrange(suite);

    // The class factory answers the error's status and information.
    com::ComPtr<com::IClassFactory> factory;
    ASSERT_EQ(component::Server().GetClassObject(&iface::kClsidTransferencia,
                                                 &com::IClassFactory::IID, factory.put()),
              com::S_OK);
    com::ComPtr<ITransferencia> object;
    EXPECT_EQ(factory->CreateInstance(nullptr, ITransferencia::IID, object.put()),
              com::FromErrorNumber(c.number));
    EXPECT_FALSE(object);
    com::ErrorInfo info = com::TakeErrorInfo();
    EXPECT_EQ(info.number, c.number);
    EXPECT_EQ(info.description, c.description);
    EXPECT_EQ(info.source, c.source);
    factory.Reset();

    // A client gets it raised.
    try {
      TransferenciaClient::Create();
      ADD_FAILURE() << "created";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.number);
      EXPECT_EQ(e.description(), c.description);
    }

    EXPECT_FALSE(ModuleStarted());
    EXPECT_EQ(suite.Alive("System"), 0);
    EXPECT_EQ(suite.Alive("Data"), 0);
    EXPECT_EQ(suite.Created("Inventory"), 0);
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
  EXPECT_TRUE(ModuleStarted());
  EXPECT_EQ(ModuleState().deposito_fiscal, "S09");
  EXPECT_EQ(suite.Created("System"), 2);
  EXPECT_EQ(suite.Alive("System"), 1);
  EXPECT_EQ(suite.journal.Starting("System.Obtener_Servidor_Id").size(), 2u);
}

TEST_F(StartUpTest, TwoObjectsOfOneThreadShareTheStateAndStartOnce) {
  TransferenciaClient first = TransferenciaClient::Create();
  com::ComPtr<ISystemServices> system = ModuleState().system;
  TransferenciaClient second = TransferenciaClient::Create();

  EXPECT_EQ(ModuleState().system.get(), system.get());
  EXPECT_EQ(suite.Created("System"), 1);
  EXPECT_EQ(suite.Created("Data"), 1);
  EXPECT_EQ(suite.journal.Starting("System.Obtener_").size(), 3u) << suite.journal.Dump();
  // Each object has its own three inventory objects.
  EXPECT_EQ(suite.Created("Inventory"), 6);
}

TEST_F(StartUpTest, TwoThreadsGetTwoStates) {
  TransferenciaClient here = TransferenciaClient::Create();
  ISystemServices* main_system = ModuleState().system.get();

  FakeSuite other;
  other.script.Answer("System.Obtener_Servidor_Id", Variant("SRV-02"));
  other.Parameter(kEnTransito, Variant("1"));
  other.Parameter(kDepositoFiscal, Variant("S11"));
  std::thread([&] {
    ScopedProvider provider(&other);
    EXPECT_FALSE(ModuleStarted());
    TransferenciaClient there = TransferenciaClient::Create();
    Publico& m = ModuleState();
    EXPECT_EQ(m.servidor_id, "SRV-02");
    EXPECT_TRUE(m.en_transito);
    EXPECT_EQ(m.deposito_fiscal, "S11");
    EXPECT_NE(m.system.get(), main_system);
  }).join();

  // The thread's services went with its apartment.
  EXPECT_EQ(other.Created("System"), 1);
  EXPECT_EQ(other.Alive("System"), 0);
  EXPECT_EQ(other.Alive("Data"), 0);
  // This thread's state is untouched.
  EXPECT_EQ(ModuleState().servidor_id, "SRV-01");
  EXPECT_EQ(ModuleState().system.get(), main_system);
  EXPECT_EQ(suite.Created("System"), 1);
}

TEST_F(StartUpTest, ResetApartmentReleasesTheServices) {
  ModuleState();
  EXPECT_EQ(suite.Alive("System"), 1);
  ResetApartment();
  EXPECT_FALSE(ModuleStarted());
  EXPECT_EQ(suite.Alive("System"), 0);
  EXPECT_EQ(suite.Alive("Data"), 0);
}

}  // namespace
}  // namespace qbx::test
