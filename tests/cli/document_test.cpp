#include "cli/document.h"

#include <gtest/gtest.h>

namespace qbx::cli {
namespace {

constexpr const char* kGood = R"({
  "Encabezado": {
    "Tr_Tipo": "EN",
    "Tr_Fecha": "2024-03-05",
    "Tr_Fecha_Entrega": "2024-03-07T14:30:00",
    "Tr_Referencia": "CEDIS-0000000001",
    "Tr_Comentario": "O'Brien's shipment",
    "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"},
    "Sucursal_Recibe": {"Sc_Cve_Sucursal": "NORTE"},
    "Almacen": {"Al_Cve_Almacen": "GRL"},
    "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"},
    "GeneraOC": true
  },
  "Detalles": [
    {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 12.5, "Tr_Unidad_1": "PZA",
     "Tr_Cantidad_Control_2": 1, "Tr_Costo": 3, "Tl_Cve_Talla": "00", "Cl_Cve_Color": "00"},
    {"Producto": {"Pr_Cve_Producto": "MED-LOTE"}, "Tr_Cantidad_1": 2, "Tr_Unidad_1": "CJA",
     "Lote": {"Lt_Cve_Lote": "L-01", "Lt_Fecha_Caducidad": "2026-12-31"},
     "Serie": {"Sr_Cve_Serie": "S1", "Sr_FechaPedimento": "2024-01-02 08:00"}}
  ],
  "Inventario_Pendiente": true
})";

TEST(CliCaptureDocument, GoodDocumentFillsTheRecords) {
  const CaptureDocument doc = CaptureDocument::Parse(kGood);
  tTrEncabezado h;
  doc.ApplyEncabezado(h);
  EXPECT_EQ(h.Tr_Tipo, "EN");
  EXPECT_EQ(h.Tr_Fecha, Date::FromCalendar(2024, 3, 5));
  EXPECT_EQ(h.Tr_Fecha_Entrega, Date::FromCalendar(2024, 3, 7, 14, 30, 0));
  EXPECT_EQ(h.Tr_Referencia, "CEDIS-0000000001");
  EXPECT_EQ(h.Tr_Comentario, "O'Brien's shipment");
  EXPECT_EQ(h.Sucursal.Sc_Cve_Sucursal, "CEDIS");
  EXPECT_EQ(h.Sucursal_Recibe.Sc_Cve_Sucursal, "NORTE");
  EXPECT_EQ(h.Almacen.Al_Cve_Almacen, "GRL");
  EXPECT_EQ(h.Almacen_Recibe.Al_Cve_Almacen, "GRL");
  EXPECT_TRUE(h.GeneraOC);
  EXPECT_EQ(doc.InventarioPendiente(), std::optional<bool>(true));

  ASSERT_EQ(doc.LineCount(), 2u);
  const tTrDetalle first = doc.Detalle(0);
  EXPECT_EQ(first.Producto.Pr_Cve_Producto, "TORN-001");
  EXPECT_EQ(first.Tr_Cantidad_1, 12.5);
  EXPECT_EQ(first.Tr_Unidad_1, "PZA");
  EXPECT_EQ(first.Tr_Cantidad_Control_2, 1);
  EXPECT_EQ(first.Tr_Costo, 3);
  EXPECT_EQ(first.Tr_Cantidad_Control_1, 0);  // left for the component
  const tTrDetalle second = doc.Detalle(1);
  EXPECT_EQ(second.Lote.Lt_Cve_Lote, "L-01");
  EXPECT_EQ(second.Lote.Lt_Fecha_Caducidad, Date::FromCalendar(2026, 12, 31));
  EXPECT_EQ(second.Serie.Sr_FechaPedimento, Date::FromCalendar(2024, 1, 2, 8, 0, 0));
  // Lines are fresh records: nothing of the first leaks into the second.
  EXPECT_EQ(second.Tr_Costo, 0);
  EXPECT_EQ(second.Tl_Cve_Talla, "");
}

TEST(CliCaptureDocument, HeaderFieldsLeftOutKeepWhatTheObjectHeld) {
  const CaptureDocument doc = CaptureDocument::Parse(
      R"({"Encabezado": {"Tr_Tipo": "RC", "Almacen": {"Al_Cve_Almacen": "LOT"}},
          "Detalles": [{}]})");
  tTrEncabezado h;
  h.Tr_Fecha = Date::FromCalendar(2025, 6, 1, 9, 15, 0);  // as Nuevo set it
  h.Tr_Comentario = "kept";
  h.Almacen.Sc_Cve_Sucursal = "NORTE";
  doc.ApplyEncabezado(h);
  EXPECT_EQ(h.Tr_Tipo, "RC");
  EXPECT_EQ(h.Tr_Fecha, Date::FromCalendar(2025, 6, 1, 9, 15, 0));
  EXPECT_EQ(h.Tr_Comentario, "kept");
  EXPECT_EQ(h.Almacen.Al_Cve_Almacen, "LOT");
  EXPECT_EQ(h.Almacen.Sc_Cve_Sucursal, "NORTE");
  EXPECT_FALSE(doc.InventarioPendiente().has_value());
}

struct Refused {
  const char* name;
  std::string text;
  std::string message;
};

class CliCaptureDocumentRefuses : public testing::TestWithParam<Refused> {};

TEST_P(CliCaptureDocumentRefuses, NamingTheField) {
  try {
    CaptureDocument::Parse(GetParam().text);
    FAIL() << "accepted";
  } catch (const DocumentError& e) {
    EXPECT_EQ(e.what(), GetParam().message);
  }
}

const std::string kLine = R"({"Producto": {"Pr_Cve_Producto": "P"}})";
std::string WithHeader(const std::string& header) {
  return R"({"Encabezado": )" + header + R"(, "Detalles": [)" + kLine + "]}";
}
std::string WithSecondLine(const std::string& line) {
  return R"({"Encabezado": {}, "Detalles": [)" + kLine + ", " + line + "]}";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliCaptureDocumentRefuses,
    testing::Values(
        Refused{"UnknownTopField", R"({"Encabezado": {}, "Detalles": [{}], "Lineas": []})",
                "Lineas: unknown field (a document has Encabezado, Detalles and "
                "Inventario_Pendiente)"},
        Refused{"UnknownHeaderField", WithHeader(R"({"Tr_Tipo": "EN", "Tr_Color": "x"})"),
                "Encabezado.Tr_Color: unknown field"},
        Refused{"MisspelledHeaderField", WithHeader(R"({"tr_tipo": "EN"})"),
                "Encabezado.tr_tipo: unknown field (did you mean Tr_Tipo?)"},
        Refused{"UnknownNestedField", WithHeader(R"({"Sucursal": {"Al_Cve_Almacen": "GRL"}})"),
                "Encabezado.Sucursal.Al_Cve_Almacen: unknown field"},
        Refused{"UnknownLineField", WithSecondLine(R"({"Tr_Cantidad": 1})"),
                "Detalles, line 2: Tr_Cantidad: unknown field"},
        Refused{"BadDate", WithHeader(R"({"Tr_Fecha": "05/03/2024"})"),
                "Encabezado.Tr_Fecha: not an ISO 8601 date (yyyy-mm-dd or yyyy-mm-ddThh:mm:ss): "
                "\"05/03/2024\""},
        Refused{"ImpossibleDate",
                WithSecondLine(R"({"Lote": {"Lt_Fecha_Caducidad": "2024-02-30"}})"),
                "Detalles, line 2: Lote.Lt_Fecha_Caducidad: not an ISO 8601 date (yyyy-mm-dd or "
                "yyyy-mm-ddThh:mm:ss): \"2024-02-30\""},
        Refused{"DateAsNumber", WithHeader(R"({"Tr_Fecha": 45000})"),
                "Encabezado.Tr_Fecha: expected an ISO 8601 date text, not a number"},
        Refused{"NumberAsText", WithSecondLine(R"({"Tr_Cantidad_1": "5"})"),
                "Detalles, line 2: Tr_Cantidad_1: expected a number, not a text"},
        Refused{"TextAsNumber", WithHeader(R"({"Sucursal": {"Sc_Cve_Sucursal": 1}})"),
                "Encabezado.Sucursal.Sc_Cve_Sucursal: expected a text, not a number"},
        Refused{"FlagAsText", WithHeader(R"({"GeneraOC": "yes"})"),
                "Encabezado.GeneraOC: expected true or false, not a text"},
        Refused{"NullText", WithHeader(R"({"Tr_Tipo": null})"),
                "Encabezado.Tr_Tipo: expected a text, not null"},
        Refused{"RecordAsText", WithSecondLine(R"({"Producto": "P"})"),
                "Detalles, line 2: Producto: expected an object, not a text"},
        Refused{"LinesNotAList", R"({"Encabezado": {}, "Detalles": {}})",
                "Detalles: expected a list of lines, not an object"},
        Refused{"LineNotAnObject", R"({"Encabezado": {}, "Detalles": [[]]})",
                "Detalles, line 1: expected an object, not a list"},
        Refused{"PendingAsNumber",
                R"({"Encabezado": {}, "Detalles": [{}], "Inventario_Pendiente": 1})",
                "Inventario_Pendiente: expected true or false, not a number"},
        Refused{"NoHeader", R"({"Detalles": [{}]})", "Encabezado: missing"},
        Refused{"NoLines", R"({"Encabezado": {}})", "Detalles: missing"},
        Refused{"EmptyLines", R"({"Encabezado": {}, "Detalles": []})",
                "Detalles: the document has no lines"},
        Refused{"NotAnObject", R"([1, 2])", "the document: expected an object, not a list"},
        Refused{"UserDefIsNotPartOfTheDocument", WithHeader(R"({"Sucursal": {"UserDef": {}}})"),
                "Encabezado.Sucursal.UserDef: unknown field"}),
    [](const testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

TEST(CliCaptureDocument, InvalidJsonSaysWhere) {
  try {
    CaptureDocument::Parse("{\"Encabezado\": {,}");
    FAIL() << "accepted";
  } catch (const DocumentError& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("not a valid JSON document: ", 0), 0u) << what;
    EXPECT_NE(what.find("line 1"), std::string::npos) << what;
  }
}

}  // namespace
}  // namespace qbx::cli
