// The component's COM object in process: its exports, interfaces, failing
// statuses, and late binding through IDispatch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/publico.h"
#include "component/transferencia_client.h"
#include "records/interface.h"
#include "records/itransferencia.h"
#include "tests/doubles/doubles.h"

extern "C" {
qbx::com::HRESULT DllGetClassObject(const qbx::Guid* clsid, const qbx::Guid* iid, void** out);
qbx::com::HRESULT DllCanUnloadNow();
}

namespace qbx::test {
namespace {

using com::DISPID;
using com::HRESULT;
using com::InvokeKind;
namespace dispid = iface::dispid;

class ServerTest : public ::testing::Test {
 protected:
  ServerTest() {
    ResetApartment();
    suite.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", Variant("1"));
    suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", Variant(""));
  }
  ~ServerTest() override {
    object_ = nullptr;
    ResetApartment();
  }

  ITransferencia& Object() {
    if (!object_) object_ = TransferenciaClient::Create().object();
    return *object_.get();
  }
  com::IDispatch& Dispatch() { return Object(); }

  HRESULT Invoke(DISPID id, InvokeKind kind, std::vector<Variant> args, Variant* result) {
    return Dispatch().Invoke(id, kind, args, result);
  }

  static tTrEncabezado Header() {
    tTrEncabezado h;
    h.Tr_Fecha = Date::FromCalendar(2024, 3, 5);
    h.Tr_Tipo = "EN";
    h.Tr_Comentario = "por late binding";
    h.Sucursal.Sc_Cve_Sucursal = "S1";
    h.Almacen.Al_Cve_Almacen = "A1";
    h.Sucursal_Recibe.Sc_Cve_Sucursal = "S2";
    h.Almacen_Recibe.Al_Cve_Almacen = "A2";
    h.GeneraOC = true;
    return h;
  }

  FakeSuite suite;

 private:
  ScopedProvider provider_{&suite};
  com::ComPtr<ITransferencia> object_;
};

TEST_F(ServerTest, ExportsServeOnlyTransferenciaAndCountItsObjects) {
  ASSERT_EQ(DllCanUnloadNow(), com::S_OK);
  const Guid unknown = MakeGuid("{00000000-1111-2222-3333-444444444444}");
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(&unknown, &com::IClassFactory::IID, &out),
            com::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);

  com::ComPtr<com::IClassFactory> factory;
  ASSERT_EQ(DllGetClassObject(&iface::kClsidTransferencia, &com::IClassFactory::IID, factory.put()),
            com::S_OK);
  com::ComPtr<ITransferencia> outer_object = TransferenciaClient::Create().object();
  com::ComPtr<ITransferencia> object;
  EXPECT_EQ(factory->CreateInstance(outer_object.get(), ITransferencia::IID, object.put()),
            com::CLASS_E_NOAGGREGATION);
  outer_object.Reset();
  ASSERT_EQ(factory->CreateInstance(nullptr, ITransferencia::IID, object.put()), com::S_OK);
  factory.Reset();
  EXPECT_EQ(DllCanUnloadNow(), com::S_FALSE);
  object.Reset();
  EXPECT_EQ(DllCanUnloadNow(), com::S_OK);
}

TEST_F(ServerTest, InterfacesOfOneObject) {
  ITransferencia& object = Object();
  com::ComPtr<com::IUnknown> from_default, from_dispatch;
  ASSERT_EQ(object.QueryInterface(com::IUnknown::IID, from_default.put()), com::S_OK);
  com::ComPtr<com::IDispatch> dispatch;
  ASSERT_EQ(object.QueryInterface(com::IDispatch::IID, dispatch.put()), com::S_OK);
  ASSERT_EQ(dispatch->QueryInterface(com::IUnknown::IID, from_dispatch.put()), com::S_OK);
  EXPECT_EQ(from_default.get(), from_dispatch.get());
  com::ComPtr<ITransferencia> again;
  ASSERT_EQ(dispatch->QueryInterface(ITransferencia::IID, again.put()), com::S_OK);
  EXPECT_EQ(again.get(), &object);
  com::ComPtr<com::IClassFactory> none;
  EXPECT_EQ(object.QueryInterface(com::IClassFactory::IID, none.put()), com::E_NOINTERFACE);
}

TEST_F(ServerTest, ARaisedErrorBecomesTheStatusAndTheErrorInformation) {
  suite.script.Fail("Data.Obtener_Valor_Campo",
                    RuntimeError(3709, "The connection is closed.", "ADODB.Connection"));
  suite.script.Fail("Data.Obtener_Fecha_Servidor", RuntimeError(kErrOverflow, "Overflow"));
  tTrEncabezado header = Header();

  EXPECT_EQ(Object().put_Encabezado(&header), com::FromErrorNumber(3709));
  com::ErrorInfo info = com::TakeErrorInfo();
  EXPECT_EQ(info.number, 3709);
  EXPECT_EQ(info.description, "The connection is closed.");
  EXPECT_EQ(info.source, "ADODB.Connection");

  // Without a source of its own the error is the component's.
  EXPECT_EQ(Object().Nuevo(), com::FromErrorNumber(kErrOverflow));
  info = com::TakeErrorInfo();
  EXPECT_EQ(info.number, kErrOverflow);
  EXPECT_EQ(info.source, "Quelbarix");

  // Late bound: DISP_E_EXCEPTION with the same information.
  Variant result("untouched");
  EXPECT_EQ(Invoke(dispid::Encabezado, InvokeKind::PropertyPut,
                   {Variant::FromRecord(iface::kRecordEncabezado, header)}, &result),
            com::DISP_E_EXCEPTION);
  EXPECT_EQ(result, Variant("untouched"));
  EXPECT_EQ(com::TakeErrorInfo().number, 3709);

  // The client helper raises it.
  TransferenciaClient client{com::ComPtr<ITransferencia>(&Object())};
  try {
    client.SetEncabezado(header);
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 3709);
    EXPECT_EQ(e.description(), "The connection is closed.");
    EXPECT_EQ(e.source(), "ADODB.Connection");
  }
}

TEST_F(ServerTest, ReadAndWriteOfEncabezadoShareOneIdentifierWhenLateBound) {
  DISPID read = com::DISPID_UNKNOWN, write = com::DISPID_UNKNOWN;
  ASSERT_EQ(Dispatch().GetIDsOfNames("encabezado", &read), com::S_OK);
  ASSERT_EQ(Dispatch().GetIDsOfNames("ENCABEZADO", &write), com::S_OK);
  EXPECT_EQ(read, write);
  DISPID none = 0;
  EXPECT_EQ(Dispatch().GetIDsOfNames("Inserta_Transferencia", &none), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(none, com::DISPID_UNKNOWN);

  const tTrEncabezado header = Header();
  Variant put_result("untouched");
  ASSERT_EQ(Invoke(write, InvokeKind::PropertyPut,
                   {Variant::FromRecord(iface::kRecordEncabezado, header)}, &put_result),
            com::S_OK);
  EXPECT_TRUE(put_result.IsEmpty());

  Variant got;
  ASSERT_EQ(Invoke(read, InvokeKind::PropertyGet, {}, &got), com::S_OK);
  ASSERT_EQ(got.type(), Variant::Type::Record);
  const tTrEncabezado& late = got.Record<tTrEncabezado>(iface::kRecordEncabezado);
  tTrEncabezado early;
  ASSERT_EQ(Object().get_Encabezado(&early), com::S_OK);
  EXPECT_EQ(late, early);
  EXPECT_EQ(late.Tr_Tipo, "EN");
  EXPECT_EQ(late.Tr_Comentario, "por late binding");
  EXPECT_EQ(late.Sucursal.Sc_Cve_Sucursal, "S1");
  EXPECT_TRUE(late.GeneraOC);
  // The object reached the service with the record's branch.
  EXPECT_FALSE(suite.journal.Containing("\"S1\"").empty()) << suite.journal.Dump();
}

TEST_F(ServerTest, LateBoundResultsAndArguments) {
  Variant result;
  // Property writes convert their argument; reads give Booleans and Strings.
  ASSERT_EQ(
      Invoke(dispid::Inventario_Pendiente, InvokeKind::PropertyPut, {Variant("True")}, &result),
      com::S_OK);
  ASSERT_EQ(Invoke(dispid::Inventario_Pendiente, InvokeKind::PropertyGet, {}, &result), com::S_OK);
  EXPECT_EQ(result, Variant(true));
  ASSERT_EQ(
      Invoke(dispid::MostrarMensajeError, InvokeKind::PropertyPut, {Variant(int32_t{0})}, &result),
      com::S_OK);
  ASSERT_EQ(Invoke(dispid::MostrarMensajeError, InvokeKind::PropertyGet, {}, &result), com::S_OK);
  EXPECT_EQ(result, Variant(false));
  bool early = true;
  ASSERT_EQ(Object().get_MostrarMensajeError(&early), com::S_OK);
  EXPECT_FALSE(early);
  ASSERT_EQ(Invoke(dispid::Error, InvokeKind::PropertyGet, {}, &result), com::S_OK);
  EXPECT_EQ(result, Variant(std::string()));

  // A Sub gives Empty; a result pointer is optional.
  result = Variant("x");
  ASSERT_EQ(Invoke(dispid::Nuevo, InvokeKind::Method, {}, &result), com::S_OK);
  EXPECT_TRUE(result.IsEmpty());
  EXPECT_EQ(Invoke(dispid::Done, InvokeKind::Method, {}, nullptr), com::S_OK);

  // A String parameter is by reference: the argument comes back as a String.
  std::vector<Variant> args = {Variant(int32_t{12})};
  ASSERT_EQ(Dispatch().Invoke(dispid::Cancelar_Transferencia, InvokeKind::Method, args, &result),
            com::S_OK);
  EXPECT_EQ(args[0], Variant(std::string("12")));
  EXPECT_EQ(result.type(), Variant::Type::Boolean);
}

TEST_F(ServerTest, LateBoundRefusals) {
  Object();
  suite.journal.Clear();
  const Variant detalle = Variant::FromRecord(iface::kRecordDetalle, tTrDetalle{});
  const Variant encabezado = Variant::FromRecord(iface::kRecordEncabezado, Header());
  struct Case {
    const char* what;
    DISPID id;
    InvokeKind kind;
    std::vector<Variant> args;
    HRESULT status;
  };
  const Case cases[] = {
      {"write of a read-only property",
       dispid::Error,
       InvokeKind::PropertyPut,
       {Variant("x")},
       com::DISP_E_MEMBERNOTFOUND},
      {"property called as a method",
       dispid::Encabezado,
       InvokeKind::Method,
       {},
       com::DISP_E_MEMBERNOTFOUND},
      {"method read as a property",
       dispid::Nuevo,
       InvokeKind::PropertyGet,
       {},
       com::DISP_E_MEMBERNOTFOUND},
      {"unknown identifier", 99, InvokeKind::Method, {}, com::DISP_E_MEMBERNOTFOUND},
      {"argument to a Sub without parameters",
       dispid::Nuevo,
       InvokeKind::Method,
       {Variant(int32_t{1})},
       com::DISP_E_BADPARAMCOUNT},
      {"property write without its value",
       dispid::Encabezado,
       InvokeKind::PropertyPut,
       {},
       com::DISP_E_BADPARAMCOUNT},
      {"two values",
       dispid::Encabezado,
       InvokeKind::PropertyPut,
       {encabezado, encabezado},
       com::DISP_E_BADPARAMCOUNT},
      {"folio omitted",
       dispid::Cancelar_Transferencia,
       InvokeKind::Method,
       {Variant(Missing{})},
       com::DISP_E_BADPARAMCOUNT},
      {"line record for the header",
       dispid::Encabezado,
       InvokeKind::PropertyPut,
       {detalle},
       com::DISP_E_TYPEMISMATCH},
      {"text for the line",
       dispid::Detalle,
       InvokeKind::PropertyPut,
       {Variant("0001")},
       com::DISP_E_TYPEMISMATCH},
      {"text that is not a Boolean",
       dispid::Inventario_Pendiente,
       InvokeKind::PropertyPut,
       {Variant("tal vez")},
       com::DISP_E_TYPEMISMATCH},
      {"Null folio",
       dispid::Finalizar_Transferencia,
       InvokeKind::Method,
       {Variant(Null{})},
       com::DISP_E_TYPEMISMATCH},
  };
  for (const Case& c : cases) {
    Variant result("untouched");
    EXPECT_EQ(Invoke(c.id, c.kind, c.args, &result), c.status) << c.what;
    EXPECT_EQ(result, Variant("untouched")) << c.what;
  }
  // None of them reached the object.
  EXPECT_TRUE(suite.journal.entries().empty()) << suite.journal.Dump();
}

}  // namespace
}  // namespace qbx::test
