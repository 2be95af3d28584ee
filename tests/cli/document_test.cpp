#include "cli/document.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "cli/digest.h"
#include "tests/cli/spawn.h"

namespace qbx::cli {
namespace {

using test::Has;

// Documents whose fault is in the header, in the second line, or after the
// header's one required field.
std::string H(const std::string& header) {
  return R"({"Encabezado": )" + header + R"(, "Detalles": [{"Producto": {}}]})";
}
std::string L2(const std::string& line) {
  return R"({"Encabezado": {"Tr_Tipo": "EN"}, "Detalles": [{}, )" + line + "]}";
}
std::string D(const std::string& rest) {
  return R"({"Encabezado": {"Tr_Tipo": "EN"})" + rest + "}";
}
std::string WithLines(size_t count) {
  std::string lines = "{}";
  for (size_t i = 1; i < count; ++i) lines += ",{}";
  return D(R"(, "Detalles": [)" + lines + "]");
}

TEST(CliCaptureDocument, GoodDocumentFillsTheRecordsAndLeavesTheRestAlone) {
  const CaptureDocument doc = CaptureDocument::Parse(R"({
    "Encabezado": {"Tr_Tipo": "EN", "Tr_Fecha": "2024-03-05",
      "Tr_Fecha_Entrega": "2024-03-07T14:30:00", "Tr_Comentario": "O'Brien's shipment",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"},
      "GeneraOC": true},
    "Detalles": [
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 12.5, "Tr_Unidad_1": "PZA",
       "Tr_Costo": 3, "Tl_Cve_Talla": "00", "Tr_Importe_Costo": 1.5e308},
      {"Lote": {"Lt_Cve_Lote": "L-01", "Lt_Fecha_Caducidad": "2026-12-31"},
       "Serie": {"Sr_FechaPedimento": "2024-01-02 08:00"}}],
    "Inventario_Pendiente": true})");
  tTrEncabezado h;
  h.Almacen_Recibe.Sc_Cve_Sucursal = "NORTE";  // as the object held it
  doc.ApplyEncabezado(h);
  using S = std::string;
  EXPECT_EQ(std::tuple(h.Tr_Tipo, h.Tr_Fecha, h.Tr_Fecha_Entrega, h.Tr_Comentario,
                       h.Sucursal.Sc_Cve_Sucursal, h.Almacen_Recibe.Al_Cve_Almacen,
                       h.Almacen_Recibe.Sc_Cve_Sucursal, h.GeneraOC, doc.InventarioPendiente()),
            std::tuple(S("EN"), Date::FromCalendar(2024, 3, 5),
                       Date::FromCalendar(2024, 3, 7, 14, 30, 0), S("O'Brien's shipment"),
                       S("CEDIS"), S("GRL"), S("NORTE"), true, std::optional<bool>(true)));
  ASSERT_EQ(doc.LineCount(), 2u);
  const tTrDetalle first = doc.Detalle(0), second = doc.Detalle(1);
  // Lines are fresh records: nothing of the first leaks into the second.
  EXPECT_EQ(std::tuple(first.Producto.Pr_Cve_Producto, first.Tr_Cantidad_1, first.Tr_Unidad_1,
                       first.Tr_Costo, first.Tr_Importe_Costo, second.Lote.Lt_Cve_Lote,
                       second.Lote.Lt_Fecha_Caducidad, second.Serie.Sr_FechaPedimento,
                       second.Tr_Costo, second.Tl_Cve_Talla),
            std::tuple(S("TORN-001"), 12.5, S("PZA"), 3.0, 1.5e308, S("L-01"),
                       Date::FromCalendar(2026, 12, 31), Date::FromCalendar(2024, 1, 2, 8, 0, 0),
                       0.0, S("")));

  // Left out, Inventario_Pendiente leaves the component's default alone.
  const CaptureDocument small = CaptureDocument::Parse(D(R"(, "Detalles": [{}])"));
  EXPECT_FALSE(small.InventarioPendiente().has_value());

  // As many lines as the component numbers.
  EXPECT_EQ(CaptureDocument::Parse(WithLines(32767)).LineCount(), 32767u);
}

// A retry key tells one request from another by the document's digest: the
// same document written in another order or spacing is the same request; any
// other value is another one; the key itself is no part of it.
TEST(CliCaptureDocument, DigestNamesTheRequestNotItsSpelling) {
  // Known SHA-256 values, the padding's edge cases included (55 and 56 bytes).
  for (const auto& [text, hex] :
       {std::pair<std::string, std::string>{
            "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"}})
    EXPECT_EQ(Sha256Hex(text), hex);

  auto digest = [](const std::string& text) { return CaptureDocument::Parse(text).Digest(); };
  const std::string base = digest(R"({"Encabezado": {"Tr_Tipo": "EN", "Tr_Comentario": "a"},
                                      "Detalles": [{"Tr_Cantidad_1": 1}]})");
  EXPECT_EQ(digest(R"({"Clave": "k-1", "Detalles": [ {"Tr_Cantidad_1": 1} ],
                       "Encabezado": {"Tr_Comentario": "a", "Tr_Tipo": "EN"}})"),
            base);
  for (const char* other : {R"({"Encabezado": {"Tr_Tipo": "EN", "Tr_Comentario": "b"},
                                 "Detalles": [{"Tr_Cantidad_1": 1}]})",
                            R"({"Encabezado": {"Tr_Tipo": "EN", "Tr_Comentario": "a"},
                                 "Detalles": [{"Tr_Cantidad_1": 2}]})",
                            R"({"Encabezado": {"Tr_Tipo": "EN", "Tr_Comentario": "a"},
                                 "Detalles": [{"Tr_Cantidad_1": 1}, {"Tr_Cantidad_1": 1}]})"})
    EXPECT_NE(digest(other), base) << other;
  EXPECT_EQ(CaptureDocument::Parse(D(R"(, "Detalles": [{}], "Clave": "k-1")")).Key(), "k-1");
}

TEST(CliCaptureDocument, RefusalsNameTheField) {
  const char* kNotIso = "not an ISO 8601 date (yyyy-mm-dd or yyyy-mm-ddThh:mm:ss): ";
  const std::string kRange =
      " is beyond the range of a number (at most about 1.8e308 either side of 0)";
  const std::pair<std::string, std::string> cases[] = {
      {D(R"(, "Detalles": [{}], "Clave": "")"), "Clave: an empty key"},
      {D(R"(, "Detalles": [{}], "Lineas": [])"),
       "Lineas: unknown field (a document has Encabezado, Detalles, Inventario_Pendiente and "
       "Clave)"},
      {H(R"({"tr_tipo": "EN"})"), "Encabezado.tr_tipo: unknown field (did you mean Tr_Tipo?)"},
      {H(R"({"Sucursal": {"UserDef": {}}})"), "Encabezado.Sucursal.UserDef: unknown field"},
      {L2(R"({"Lote": {"Lt_Fecha_Caducidad": "2024-02-30"}})"),
       "Detalles, line 2: Lote.Lt_Fecha_Caducidad: " + std::string(kNotIso) + "\"2024-02-30\""},
      {H(R"({"Tr_Fecha": 45000})"),
       "Encabezado.Tr_Fecha: expected an ISO 8601 date text, not a number"},
      {L2(R"({"Tr_Cantidad_1": "5"})"),
       "Detalles, line 2: Tr_Cantidad_1: expected a number, not a text"},
      {H(R"({"Sucursal": {"Sc_Cve_Sucursal": 1}})"),
       "Encabezado.Sucursal.Sc_Cve_Sucursal: expected a text, not a number"},
      {H(R"({"GeneraOC": "yes"})"), "Encabezado.GeneraOC: expected true or false, not a text"},
      {L2(R"({"Producto": "P"})"), "Detalles, line 2: Producto: expected an object, not a text"},
      {D(R"(, "Detalles": {})"), "Detalles: expected a list of lines, not an object"},
      {R"({"Detalles": [{}]})", "Encabezado: missing"},
      {D(""), "Detalles: missing"},
      {D(R"(, "Detalles": [])"), "Detalles: the document has no lines"},
      {R"([1, 2])", "the document: expected an object, not a list"},
      // The component finalises nothing of another type, and says nothing.
      {H("{}"), "Encabezado.Tr_Tipo: missing (SL, EN or RC)"},
      {H(R"({"Tr_Tipo": "en"})"), "Encabezado.Tr_Tipo: \"en\" is not a transfer type (SL request, "
                                  "EN shipment or RC reception)"},
      {H(R"({"Tr_Tipo": "EN", "Tr_Comentario": "a\u0000b"})"),
       "Encabezado.Tr_Comentario: a text may not contain a NUL character (\\u0000)"},
      // Beyond a double: the parser's own refusal names no field.
      {L2(R"({"Tr_Costo": 1, "Producto": {"Pr_Porcentaje_Variacion": -2E400}})"),
       "Detalles, line 2: Producto.Pr_Porcentaje_Variacion: -2E400" + kRange},
      {L2(R"({"Tr_Cantidad_1": 1)" + std::string(400, '0') + "}"),
       "Detalles, line 2: Tr_Cantidad_1: 10000000000000000000..." + kRange},
      {"[[], [0, 1e309]]", "[1][1]: 1e309" + kRange},
      // One past the numbers the component gives its lines.
      {WithLines(32768),
       "Detalles, line 32768: a transfer holds at most 32767 lines (this document has 32768)"},
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
        EXPECT_TRUE(Has(what, "line 1"));
      } else {
        EXPECT_EQ(what, message);
      }
    }
  }
}

}  // namespace
}  // namespace qbx::cli
