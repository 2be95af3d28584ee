#include "tests/transfer/fixture.h"

namespace qbx::test {

TransferTest::TransferTest() {
  ResetApartment();
  StandardSettings(suite);
}

// Settings every capture reads; a test overrides them with suite.Parameter.
void StandardSettings(FakeSuite& suite) {
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", "");
  suite.Parameter("MOV_SALIDA_TRANSFERENCIA", TransferTest::kSalidaTransferencia);
  suite.Parameter("MOV_ENTRADA_TRANSITO", TransferTest::kEntradaTransito);
  suite.Parameter("MOV_SALIDA_TRANSITO", TransferTest::kSalidaTransito);
  suite.Parameter("MOV_ENTRADA_TRANSFERENCIA", TransferTest::kEntradaTransferencia);
  suite.Parameter("MOV_ALMACEN_TRANSITO_TRANSFERENCIA", TransferTest::kAlmacenTransito);
}

CaseDoubles::CaseDoubles() {
  ResetApartment();
  StandardSettings(suite);
}

CaseDoubles::~CaseDoubles() {
  ResetApartment();
}

TransferTest::~TransferTest() {
  object_.reset();
  ResetApartment();
}

Transferencia& TransferTest::Object() {
  if (!object_) object_ = std::make_unique<Transferencia>();
  return *object_;
}

void TransferTest::ResetObject() { object_.reset(); }

tTrEncabezado TransferTest::Header(const std::string& tipo) {
  tTrEncabezado h;
  h.Tr_Fecha = Date::FromCalendar(2024, 3, 5);
  h.Tr_Fecha_Entrega = Date::FromCalendar(2024, 3, 6);
  h.Tr_Tipo = tipo;
  h.Tr_Referencia = tipo == "SL" ? "" : "REF-1";
  h.Tr_Comentario = "Comentario";
  h.Sucursal.Sc_Cve_Sucursal = "S1";
  h.Sucursal_Recibe.Sc_Cve_Sucursal = "S2";
  h.Almacen.Al_Cve_Almacen = "A1";
  h.Almacen_Recibe.Al_Cve_Almacen = "A2";
  return h;
}

tTrDetalle TransferTest::Line() {
  tTrDetalle d;
  d.Producto.Pr_Cve_Producto = "P1";
  d.Tl_Cve_Talla = "00";
  d.Cl_Cve_Color = "00";
  d.Tr_Cantidad_1 = 5;
  d.Tr_Unidad_1 = "PZA";
  d.Tr_Costo = 10;
  return d;
}

}  // namespace qbx::test
