#include "tests/transfer/fixture.h"

namespace qbx::test {

TransferTest::~TransferTest() {
  object_.reset();
  ResetApartment();
}

void TransferTest::Renew() {
  object_.reset();
  provider_.reset();
  ResetApartment();
  suite.emplace();
  provider_.emplace(&*suite);
  // Movement kinds and transit warehouse every capture reads.
  InTransit(false);
  Param("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", "");
  Param("MOV_SALIDA_TRANSFERENCIA", "STR");
  Param("MOV_ENTRADA_TRANSITO", "ETT");
  Param("MOV_SALIDA_TRANSITO", "STT");
  Param("MOV_ENTRADA_TRANSFERENCIA", "ETR");
  Param("MOV_ALMACEN_TRANSITO_TRANSFERENCIA", "AT");
  catalogue = {
      {"Almacen.Al_Descripcion", "Almacen general"}, {"Unidad.Un_Descripcion", "Pieza"},
      {"Producto.Pr_Tipo_Producto", "01"},           {"Producto.Pr_Tipo_Costeo", "P"},
      {"Producto.Pr_Unidad_Control_1", "PZA"},       {"Producto.Pr_Unidad_Control_2", "KG"},
      {"Producto.Pr_Unidad_Costo", "PZA"},
  };
  suite->script.On("Data.Obtener_Valor_Campo", [this](const std::vector<Variant>& a) {
    const std::string base = a[0].ToString() + "." + a[3].ToString();
    auto it = catalogue.find(base + "=" + a[2].ToString());
    if (it == catalogue.end()) it = catalogue.find(base);
    return Variant(it == catalogue.end() ? std::string() : it->second);
  });
  Answer("Data.Obtener_Folio", "F-1");
  Answer("Inventory#3.Obtener_Costo_Detalle", "7.5");
}

Transferencia& TransferTest::Object() {
  if (!object_) object_ = std::make_unique<Transferencia>();
  return *object_;
}

Transferencia& TransferTest::Start(const std::string& tipo) {
  Object().SetEncabezado(Header(tipo));
  return Object();
}

bool TransferTest::AddLine(const tTrDetalle& line) {
  Transferencia& t = Object();
  t.SetMostrarMensajeError(false);
  t.SetDetalle(line);
  return t.Add_Transferencia_Detalle();
}

void TransferTest::Script(const Answers& answers) {
  for (const auto& [key, value] : answers) {
    const std::string name = key.substr(key.find(':') + 1);
    if (key.rfind("cat:", 0) == 0)
      catalogue[name] = value.ToString();
    else if (key.rfind("par:", 0) == 0)
      Param(name, value);
    else if (key.rfind("raise:", 0) == 0)
      suite->script.Fail(name, RuntimeError(3000, value.ToString()));
    else if (key.rfind("fail:", 0) == 0)
      suite->FailQuery(name, RuntimeError(-2147217900, value.ToString()));
    else
      Answer(key, value);
  }
}

std::vector<std::string> TransferTest::Run(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& s : suite->Statements())
    if (s.rfind(prefix, 0) == 0) out.push_back(s);
  return out;
}

Texts TransferTest::Entries(std::initializer_list<const char*> fragments, bool names) const {
  Texts out;
  for (const auto& e : names ? suite->journal.Calls() : suite->journal.entries())
    for (const char* fragment : fragments)
      if (e.find(fragment) != std::string::npos) {
        out.push_back(e);
        break;
      }
  return out;
}

size_t TransferTest::At(const std::string& fragment) const {
  const auto& all = suite->journal.entries();
  size_t i = 0;
  while (i < all.size() && all[i].find(fragment) == std::string::npos) ++i;
  return i;
}

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
