#include "cli/document.h"

#include <gtest/gtest.h>

namespace qbx::cli {
namespace {

TEST(CliCaptureDocument, GoodDocumentFillsTheRecordsAndLeavesTheRestAlone) {
  const CaptureDocument doc = CaptureDocument::Parse(R"({
    "Encabezado": {"Tr_Tipo": "EN", "Tr_Fecha": "2024-03-05",
      "Tr_Fecha_Entrega": "2024-03-07T14:30:00", "Tr_Comentario": "O'Brien's shipment",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"},
      "GeneraOC": true},
    "Detalles": [
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 12.5, "Tr_Unidad_1": "PZA",
       "Tr_Costo": 3, "Tl_Cve_Talla": "00"},
      {"Lote": {"Lt_Cve_Lote": "L-01", "Lt_Fecha_Caducidad": "2026-12-31"},
       "Serie": {"Sr_FechaPedimento": "2024-01-02 08:00"}}],
    "Inventario_Pendiente": true})");
  tTrEncabezado h;
  h.Almacen_Recibe.Sc_Cve_Sucursal = "NORTE";  // as the object held it
  doc.ApplyEncabezado(h);
  EXPECT_EQ(h.Tr_Tipo, "EN");
  EXPECT_EQ(h.Tr_Fecha, Date::FromCalendar(2024, 3, 5));
  EXPECT_EQ(h.Tr_Fecha_Entrega, Date::FromCalendar(2024, 3, 7, 14, 30, 0));
  EXPECT_EQ(h.Tr_Comentario, "O'Brien's shipment");
  EXPECT_EQ(h.Sucursal.Sc_Cve_Sucursal, "CEDIS");
  EXPECT_EQ(h.Almacen_Recibe.Al_Cve_Almacen, "GRL");
  EXPECT_EQ(h.Almacen_Recibe.Sc_Cve_Sucursal, "NORTE");
  EXPECT_TRUE(h.GeneraOC);
  EXPECT_EQ(doc.InventarioPendiente(), std::optional<bool>(true));
  ASSERT_EQ(doc.LineCount(), 2u);
  const tTrDetalle first = doc.Detalle(0), second = doc.Detalle(1);
  EXPECT_EQ(first.Producto.Pr_Cve_Producto, "TORN-001");
  EXPECT_EQ(first.Tr_Cantidad_1, 12.5);
  EXPECT_EQ(first.Tr_Unidad_1, "PZA");
  EXPECT_EQ(first.Tr_Costo, 3);
  EXPECT_EQ(second.Lote.Lt_Cve_Lote, "L-01");
  EXPECT_EQ(second.Lote.Lt_Fecha_Caducidad, Date::FromCalendar(2026, 12, 31));
  EXPECT_EQ(second.Serie.Sr_FechaPedimento, Date::FromCalendar(2024, 1, 2, 8, 0, 0));
  // Lines are fresh records: nothing of the first leaks into the second.
  EXPECT_EQ(second.Tr_Costo, 0);
  EXPECT_EQ(second.Tl_Cve_Talla, "");

  // Header fields left out keep what the object held.
  const CaptureDocument small =
      CaptureDocument::Parse(R"({"Encabezado": {"Tr_Tipo": "RC"}, "Detalles": [{}]})");
  small.ApplyEncabezado(h);
  EXPECT_EQ(h.Tr_Tipo, "RC");
  EXPECT_EQ(h.Tr_Fecha, Date::FromCalendar(2024, 3, 5));
  EXPECT_FALSE(small.InventarioPendiente().has_value());
}

std::string WithHeader(const std::string& header) {
  return R"({"Encabezado": )" + header + R"(, "Detalles": [{"Producto": {}}]})";
}
std::string WithSecondLine(const std::string& line) {
  return R"({"Encabezado": {}, "Detalles": [{}, )" + line + "]}";
}

TEST(CliCaptureDocument, RefusalsNameTheField) {
  const char* kNotIso = "not an ISO 8601 date (yyyy-mm-dd or yyyy-mm-ddThh:mm:ss): ";
  const std::pair<std::string, std::string> cases[] = {
      {R"({"Encabezado": {}, "Detalles": [{}], "Lineas": []})",
       "Lineas: unknown field (a document has Encabezado, Detalles, Inventario_Pendiente and Clave)"},
      {WithHeader(R"({"Tr_Tipo": "EN", "Tr_Color": "x"})"), "Encabezado.Tr_Color: unknown field"},
      {WithHeader(R"({"tr_tipo": "EN"})"),
       "Encabezado.tr_tipo: unknown field (did you mean Tr_Tipo?)"},
      {WithHeader(R"({"Sucursal": {"UserDef": {}}})"),
       "Encabezado.Sucursal.UserDef: unknown field"},
      {WithSecondLine(R"({"Tr_Cantidad": 1})"), "Detalles, line 2: Tr_Cantidad: unknown field"},
      {WithHeader(R"({"Tr_Fecha": "05/03/2024"})"),
       "Encabezado.Tr_Fecha: " + std::string(kNotIso) + "\"05/03/2024\""},
      {WithSecondLine(R"({"Lote": {"Lt_Fecha_Caducidad": "2024-02-30"}})"),
       "Detalles, line 2: Lote.Lt_Fecha_Caducidad: " + std::string(kNotIso) + "\"2024-02-30\""},
      {WithHeader(R"({"Tr_Fecha": 45000})"),
       "Encabezado.Tr_Fecha: expected an ISO 8601 date text, not a number"},
      {WithSecondLine(R"({"Tr_Cantidad_1": "5"})"),
       "Detalles, line 2: Tr_Cantidad_1: expected a number, not a text"},
      {WithHeader(R"({"Sucursal": {"Sc_Cve_Sucursal": 1}})"),
       "Encabezado.Sucursal.Sc_Cve_Sucursal: expected a text, not a number"},
      {WithHeader(R"({"GeneraOC": "yes"})"),
       "Encabezado.GeneraOC: expected true or false, not a text"},
      {WithHeader(R"({"Tr_Tipo": null})"), "Encabezado.Tr_Tipo: expected a text, not null"},
      {WithSecondLine(R"({"Producto": "P"})"),
       "Detalles, line 2: Producto: expected an object, not a text"},
      {R"({"Encabezado": {}, "Detalles": {}})",
       "Detalles: expected a list of lines, not an object"},
      {R"({"Encabezado": {}, "Detalles": [[]]})",
       "Detalles, line 1: expected an object, not a list"},
      {R"({"Encabezado": {}, "Detalles": [{}], "Inventario_Pendiente": 1})",
       "Inventario_Pendiente: expected true or false, not a number"},
      {R"({"Detalles": [{}]})", "Encabezado: missing"},
      {R"({"Encabezado": {}})", "Detalles: missing"},
      {R"({"Encabezado": {}, "Detalles": []})", "Detalles: the document has no lines"},
      {R"([1, 2])", "the document: expected an object, not a list"},
      // Invalid JSON: the parser's own account follows, with where it stopped.
      {"{\"Encabezado\": {,}", "not a valid JSON document: "},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    try {
      CaptureDocument::Parse(text);
      ADD_FAILURE() << "accepted";
    } catch (const DocumentError& e) {
      const std::string what = e.what();
      if (message.ends_with(": ")) {
        EXPECT_EQ(what.rfind(message, 0), 0u) << what;
        EXPECT_NE(what.find("line 1"), std::string::npos) << what;
      } else {
        EXPECT_EQ(what, message);
      }
    }
  }
}

}  // namespace
}  // namespace qbx::cli
