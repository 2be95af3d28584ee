// The built tool, run as a person runs it, on temporary databases.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/cli/spawn.h"
#include "suite/reports.h"
#include "tests/suite/suite_fixture.h"

namespace {

namespace fs = std::filesystem;

using qbx::cli::test::Slurp;
using Outcome = qbx::cli::test::Spawned;

class CliTool : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quelbarix-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    QBX_SKIP_WITHOUT_SERVER();
    db_ = qbx::test::FreshDatabase(dir_.string(), "t.db");
  }
  void TearDown() override {
    if (!db_.empty()) qbx::test::DropDatabase(db_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Runs the tool with the arguments; `input` is its standard input.
  Outcome Run(std::vector<std::string> args, const std::string& input = "") {
    return qbx::cli::test::SpawnTool(dir_, QUELBARIX_TOOL, std::move(args), input);
  }

  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }

  // Every table of the database, row by row.
  std::string Tables() {
    qbx::suite::Database db(db_, false);
    return qbx::suite::test::DatabaseText(db);
  }

  nlohmann::json ShowJson(const std::string& folio) {
    const Outcome o = Run({"show", folio, "--json", "--db", db_});
    EXPECT_EQ(o.status, 0) << o.err;
    return nlohmann::json::parse(o.out);
  }

  static std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

  fs::path dir_;
  std::string db_;
};

// A request of the northern branch to the distribution centre: no stock
// needed, so it works on the bare sample catalogue. `second` is spliced into
// the second line.
std::string RequestDocument(const std::string& second = R"("Tr_Unidad_1": "PAQ")") {
  return R"({
    "Encabezado": {
      "Tr_Tipo": "SL",
      "Tr_Comentario": "request from the tests",
      "Sucursal": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}
    },
    "Detalles": [
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 24, "Tr_Unidad_1": "PZA",
       "Tr_Cantidad_Control_2": 2},
      {"Producto": {"Pr_Cve_Producto": "KIT-01"}, "Tr_Cantidad_1": 3,
       "Tr_Cantidad_Control_2": 18, )" +
         second + R"(}
    ]
  })";
}

// One sample database through init, capture, show, refusals and cancel.
TEST_F(CliTool, CaptureShowRefuseAndCancelOnOneDatabase) {
  Outcome o = Run({"init", "--sample", "--db", db_});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find(db_), std::string::npos);
  o = Run({"init", "--db", db_});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "quelbarix: database " + db_ +
                       (qbx::test::OnServer() ? " already has the suite's tables"
                                              : " already exists") +
                       "; init leaves it as it is\n");

  // Mistakes in the command line or the document exit 2.
  o = Run({"fly"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(FirstLine(o.err), "quelbarix: unknown command 'fly'");

  o = Run({"capture", Write("sl.json", RequestDocument()), "--db", db_});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string folio = FirstLine(o.out);
  ASSERT_FALSE(folio.empty());
  EXPECT_EQ(o.out, folio + "\n");
  const nlohmann::json shown = ShowJson(folio);
  EXPECT_EQ(shown["Tr_Folio"], folio);
  EXPECT_EQ(shown["Tr_Tipo"], "SL");
  EXPECT_EQ(shown["Es_Cve_Estado"], "AC");
  EXPECT_EQ(shown["finalised"], true);
  ASSERT_EQ(shown["lines"].size(), 2u);
  const auto& first = shown["lines"][0];
  EXPECT_EQ(first["Tr_ID"], "0001");
  EXPECT_EQ(first["Pr_Cve_Producto"], "TORN-001");
  EXPECT_EQ(first["Tr_Cantidad_Control_1"], 24);
  EXPECT_EQ(first["Sc_Cve_Sucursal_Recibe"], "CEDIS");
  EXPECT_EQ(shown["lines"][1]["Pr_Cve_Producto"], "KIT-01");
  EXPECT_TRUE(shown["movements"].empty());  // a request moves no goods
  o = Run({"show", folio, "--db", db_});
  EXPECT_EQ(FirstLine(o.out), "Transfer " + folio + ": request (SL), state AC, finalised " +
                                  shown["finalised_at"].get<std::string>());

  // A refused second line stores nothing: the whole command is one unit.
  const std::string negative = RequestDocument(R"("Tr_Unidad_1": "PAQ", "Tr_Costo": -0.5)");
  const std::string before = Tables();
  o = Run({"capture", "-", "--db", db_}, negative);
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err,
            "quelbarix: line 2 refused:\nQuelbarix.dll - Add_Transferencia_Detalle()\n"
            "El costo no puede ser negativo: \nCosto: -0.5\n"
            "Nothing was stored: the whole command was rolled back.\n");
  EXPECT_EQ(Tables(), before);
  // Statement by statement, the first line stays, unfinalised, and the tool
  // says how to undo it.
  o = Run({"capture", "-", "--per-statement", "--db", db_}, negative);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("quelbarix: line 2 refused:\nQuelbarix.dll - Add_Transferencia_Detalle()\n"
                       "El costo no puede ser negativo: \nCosto: -0.5\n"),
            std::string::npos)
      << o.err;
  const std::string marker = "1 line is stored under folio ";
  const size_t at = o.err.find(marker);
  ASSERT_NE(at, std::string::npos) << o.err;
  const size_t from = at + marker.size();
  const std::string partial = o.err.substr(from, o.err.find(' ', from) - from);
  EXPECT_NE(o.err.find("`quelbarix cancel " + partial + "` undoes them."), std::string::npos);
  EXPECT_EQ(ShowJson(partial)["lines"].size(), 1u);
  EXPECT_EQ(ShowJson(partial)["finalised"], false);
  // A refused first line stores nothing.
  o = Run({"capture", "-", "--db", db_},
          R"({"Encabezado": {"Tr_Tipo": "SL",
      "Sucursal": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
              "Detalles": [{"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 1,
                            "Tr_Unidad_1": "PZA", "Tr_Costo": -1}]})");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "quelbarix: line 1 refused:\nQuelbarix.dll - Add_Transferencia_Detalle()\n"
            "El costo no puede ser negativo: \nCosto: -1\n"
            "Nothing was stored: the whole command was rolled back.\n");

  // Cancel, and the component's refusal of a second cancel, reach the person.
  o = Run({"cancel", partial, "--db", db_});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(ShowJson(partial)["Es_Cve_Estado"], "CA");
  o = Run({"cancel", partial, "--db", db_});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "quelbarix: transfer " + partial +
                       " was not cancelled:\nQuelbarix.dll - Cancelar_Transferencia()\n"
                       "Imposible cancelar la transferencia: " +
                       partial + ", con estado = 'CA'\n"
                       "Nothing was stored: the whole command was rolled back.\n");
}

// A shipment from the distribution centre to the northern branch.
std::string ShipmentDocument(const std::string& extra = "") {
  return R"({)" + extra + R"(
    "Encabezado": {"Tr_Tipo": "EN",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
    "Detalles": [{"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 3,
                  "Tr_Unidad_1": "PZA"}]})";
}

// The shipment with the value at a JSON pointer replaced (or added).
std::string Shipment(const std::string& pointer, const nlohmann::json& value,
                     std::string document = ShipmentDocument()) {
  nlohmann::json j = nlohmann::json::parse(document);
  j[nlohmann::json::json_pointer(pointer)] = value;
  return j.dump();
}

// What the tool refuses before it sends a document: exit 2, the field's path
// first, and nothing written (not even a folio counter).
TEST_F(CliTool, DocumentsAreCheckedBeforeAnythingIsSent) {
  ASSERT_EQ(Run({"init", "--sample", "--db", db_}).status, 0);
  const std::string serials = Slurp(fs::path(QUELBARIX_EXAMPLES) / "shipment-serials.json");
  const std::string shipment = ShipmentDocument();
  const std::string twice = std::string(shipment).replace(
      shipment.find("\"Tr_Cantidad_1\": 3"), 18, R"("Tr_Cantidad_1": 3, "Tr_Cantidad_1": 4)");
  const std::pair<std::string, std::string> refused[] = {
      {R"({"Encabezado": {"Tr_Fecha": 1}, "Detalles": [{}]})",
       "Encabezado.Tr_Fecha: expected an ISO 8601 date text, not a number"},
      {R"({"Encabezado": {"Tr_Tipo": "SL"}, "Detalles": [{"Tr_Costo": 1e309}]})",
       "Detalles, line 1: Tr_Costo: 1e309 is beyond the range of a number (at most about "
       "1.8e308 either side of 0)"},
      {Shipment("/Detalles/0/Producto/Pr_Cve_Producto", "NOPE"),
       "Detalles, line 1: Producto.Pr_Cve_Producto: unknown product 'NOPE'"},
      {Shipment("/Detalles/0/Producto/Pr_Cve_Producto", "DESCONT"),
       "Detalles, line 1: Producto.Pr_Cve_Producto: product 'DESCONT' is discontinued (state BA)"},
      {Shipment("/Detalles/0/Tr_Unidad_1", "KG"),
       "Detalles, line 1: Tr_Unidad_1: unit 'KG' cannot be used for product TORN-001: it converts "
       "only CJA, PAQ, PZA"},
      {Shipment("/Detalles/0/Tr_Unidad_1", "XX"),
       "Detalles, line 1: Tr_Unidad_1: unknown unit 'XX'"},
      {Shipment("/Encabezado/Sucursal_Recibe/Sc_Cve_Sucursal", "NADA"),
       "Encabezado.Sucursal_Recibe.Sc_Cve_Sucursal: unknown branch 'NADA'"},
      {Shipment("/Encabezado/Almacen_Recibe/Al_Cve_Almacen", "OBS"),
       "Encabezado.Almacen_Recibe.Al_Cve_Almacen: warehouse 'OBS' of branch NORTE is no longer in "
       "use (state BA)"},
      {Shipment("/Encabezado/Tr_Fecha", "2000-01-01"),
       "Encabezado.Tr_Fecha: 2000-01-01 falls in no open period; the open periods are "},
      {Shipment("/Encabezado/Tr_Fecha", "2025-03-05T10:00:00Z"),
       "Encabezado.Tr_Fecha: \"2025-03-05T10:00:00Z\" carries a time zone (Z), which is refused"},
      {Shipment("/Encabezado/Tr_Fecha", "2025-03-05T10:00:00+02:00"),
       "Encabezado.Tr_Fecha: \"2025-03-05T10:00:00+02:00\" carries a time zone (+02:00)"},
      {Shipment("/Encabezado/Tr_Comentario", std::string(50 << 20, 'x')),
       "Encabezado.Tr_Comentario: a text of 52428800 characters; the suite keeps at most 250"},
      {Shipment("/Detalles/0/Lote/Lt_Cve_Lote", std::string(30, 'x') + "\u00f1"),
       "Detalles, line 1: Lote.Lt_Cve_Lote: a text of 31 characters; the suite keeps at most 30"},
      {Shipment("/Encabezado/Tr_Folio", "CEDIS-0000000001"),
       "Encabezado.Tr_Folio: the component assigns the folio of a new transfer"},
      {Shipment("/Detalles/1/Tr_Cantidad_1", 2, serials),
       "Detalles, line 2: Tr_Cantidad_1: 2 under serial number SN-0002; a serial-numbered product "
       "takes one line per serial number"},
      {twice, "Detalles, line 1: Tr_Cantidad_1: given twice in the same object"},
  };
  const std::string before = Tables();
  for (const auto& [document, message] : refused) {
    const Outcome o = Run({"capture", Write("doc.json", document), "--db", db_});
    EXPECT_EQ(o.status, 2) << message;
    EXPECT_EQ(FirstLine(o.err).substr(0, 11 + message.size()), "quelbarix: " + message);
  }
  EXPECT_EQ(Tables(), before);
  const Outcome o = Run({"capture", dir_.string(), "--db", db_});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err, "quelbarix: " + dir_.string() + " is a folder, not a capture document\n");
  EXPECT_NE(Run({"capture", "--help"}).out.find("Tr_Comentario 250"), std::string::npos);
}

// A key runs its request once: again it answers what the first run printed
// and changes nothing; another request under it is refused. A transfer
// captured without finalising cannot be finalised elsewhere unless forced.
TEST_F(CliTool, RetryKeysAndPendingMovements) {
  ASSERT_EQ(Run({"init", "--sample", "--db", db_}).status, 0);
  const std::string keyed = ShipmentDocument(R"("Clave": "envio-1",)");
  const Outcome first = Run({"capture", "-", "--db", db_}, keyed);
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string folio = FirstLine(first.out);
  const std::string stored = Tables();
  Outcome o = Run({"capture", "-", "--db", db_}, keyed);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, first.out);
  EXPECT_NE(o.err.find("Key envio-1 already ran (folio " + folio + ")"), std::string::npos);
  o = Run({"capture", "-", "--db", db_}, ShipmentDocument(R"("Clave": "envio-1", "X": 1,)"));
  EXPECT_EQ(o.status, 2);  // a wrong document is refused before the key is looked at
  const std::string other = R"({"Clave": "envio-1",)" + ShipmentDocument().substr(1);
  o = Run({"capture", "-", "--db", db_}, std::string(other).replace(other.find("3,"), 2, "4,"));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("key envio-1 was used for another request (capture, folio " + folio),
            std::string::npos)
      << o.err;
  o = Run({"cancel", folio, "--key", "envio-1", "--db", db_});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(Tables(), stored);

  // Again, a key answers the folio it recorded.
  for (const std::string& out : {"Transfer " + folio + " cancelled.\n", folio + "\n"}) {
    o = Run({"cancel", folio, "--key", "anula-1", "--db", db_});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, out);
  }
  EXPECT_EQ(ShowJson(folio)["Es_Cve_Estado"], "CA");

  o = Run({"capture", "-", "--no-finalize", "--db", db_}, ShipmentDocument());
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string pending = FirstLine(o.out);
  const std::string unposted = Tables();
  o = Run({"finalize", pending, "--db", db_});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("pending movement detail(s)"), std::string::npos) << o.err;
  EXPECT_EQ(Tables(), unposted);
  o = Run({"finalize", pending, "--force", "--db", db_});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("warning"), std::string::npos);
}

// cfdi and requisition answer the document they made, found among the
// shipment's transport documents and the order's requests.
TEST_F(CliTool, CfdiAndRequisitionNameWhatTheyMade) {
  ASSERT_EQ(Run({"init", "--sample", "--db", db_}).status, 0);
  const Outcome shipped = Run({"capture", "-", "--db", db_}, ShipmentDocument());
  ASSERT_EQ(shipped.status, 0) << shipped.err;
  const std::string shipment = FirstLine(shipped.out);
  Outcome o = Run({"cfdi", shipment, "--db", db_});
  ASSERT_EQ(o.status, 0) << o.err;
  // A transport document is numbered like a transfer: its folio is labelled.
  const nlohmann::json transport = ShowJson(shipment)["transport_documents"];
  ASSERT_EQ(transport.size(), 1u);
  const std::string traslado = transport[0]["transport_folio"];
  ASSERT_EQ(transport[0]["lines"].size(), 1u);
  const nlohmann::json& line = transport[0]["lines"][0];
  EXPECT_EQ(line["Tr_Folio"], traslado);
  EXPECT_EQ(line["Tr_Documento"], shipment);
  EXPECT_EQ(o.out, traslado + "\n");
  EXPECT_EQ(o.err, "Transport document " + traslado + " (invoice key " +
                       line["Tr_Factura"].get<std::string>() + ", 1 line) for shipment " +
                       shipment + ".\n");
  o = Run({"show", shipment, "--db", db_});
  EXPECT_NE(o.out.find("\n  Transport folio " + traslado + " (a transport document, not a transfer):\n"),
            std::string::npos)
      << o.out;
  // A second transport document, or one for a cancelled shipment, only when
  // forced.
  o = Run({"cfdi", shipment, "--db", db_});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(FirstLine(o.err), "quelbarix: shipment " + shipment +
                                  " already has the live transport document " + traslado +
                                  "; a second one would declare the same goods twice; --force "
                                  "writes one all the same");
  ASSERT_EQ(Run({"cancel", shipment, "--db", db_}).status, 0);
  o = Run({"cfdi", shipment, "--db", db_});
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("shipment " + shipment + " is cancelled"), std::string::npos) << o.err;
  EXPECT_EQ(Run({"cfdi", shipment, "--force", "--db", db_}).status, 0);
  EXPECT_EQ(ShowJson(shipment)["transport_documents"].size(), 2u);

  // An order that needs nothing, and one that does not exist, are told apart
  // from the component's missing folio.
  const std::pair<std::string, std::string> orders[] = {
      {"PED-0002",
       "quelbarix: order PED-0002 needs no request: its distribution centre CEDIS has in stock "
       "what every line asks (CAMISA-01 GD/NGO: 12 ordered, "},
      {"NOPE", "quelbarix: there is no order NOPE"},
  };
  for (const auto& [order, message] : orders) {
    o = Run({"requisition", order, "--db", db_});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.substr(0, message.size()), message);
  }

  std::set<std::string> requests;
  for (int n = 0; n < 2; ++n) {
    o = Run({"requisition", "PED-0001", "--db", db_});
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string request = FirstLine(o.out);
    EXPECT_EQ(ShowJson(request)["Tr_Tipo"], "SL");
    EXPECT_EQ(ShowJson(request)["lines"][0]["Tr_Documento"], "PED-0001");
    requests.insert(request);
  }
  EXPECT_EQ(requests.size(), 2u);  // each run names its own request
}

// The documents of examples/ in the order examples/README.md gives, on a new
// sample database; then list and catalogue show what a person needs.
TEST_F(CliTool, ExamplesRunInOrderAndListAndCatalogueShowThem) {
  ASSERT_EQ(Run({"init", "--sample", "--db", db_}).status, 0);
  const fs::path examples = QUELBARIX_EXAMPLES;
  const std::string kinds[] = {"request", "shipment", "shipment-lots", "shipment-serials",
                               "reception"};
  std::string listed;
  std::map<std::string, std::string> folio;  // by kind
  for (const std::string& kind : kinds) {
    const fs::path file = examples / (kind + ".json");
    EXPECT_EQ(Run({"example", kind}).out, Slurp(file)) << kind;
    const Outcome o = Run({"capture", file.string(), "--db", db_});
    ASSERT_EQ(o.status, 0) << kind << ": " << o.err;
    folio[kind] = FirstLine(o.out);
    listed += kind + "\n";
  }
  EXPECT_EQ(Run({"example"}).out, listed);
  EXPECT_EQ(folio["shipment"], "CEDIS-0000000001");  // what reception.json refers to
  Outcome o = Run({"requisition", FirstLine(Slurp(examples / "order.txt")), "--db", db_});
  ASSERT_EQ(o.status, 0) << o.err;
  folio["requisition"] = FirstLine(o.out);
  ASSERT_EQ(Run({"cancel", folio["shipment-serials"], "--db", db_}).status, 0);
  // show: the folio as stored whatever its case as typed, a cancelled
  // movement as cancelled.
  const std::string serials = folio["shipment-serials"];
  std::string typed = serials;
  for (char& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const nlohmann::json cancelled = ShowJson(typed);
  EXPECT_EQ(cancelled["Tr_Folio"], serials);
  ASSERT_FALSE(cancelled["movements"].empty());
  for (const auto& m : cancelled["movements"]) EXPECT_EQ(m["stock"], "cancelled") << m;
  o = Run({"show", typed, "--db", db_});
  EXPECT_EQ(FirstLine(o.out).substr(0, 9 + serials.size()), "Transfer " + serials);
  for (const std::string& text : {o.out, cancelled.dump()})
    EXPECT_EQ(text.find("applied"), std::string::npos) << text;

  auto list = [&](std::vector<std::string> filters) {
    filters.insert(filters.end(), {"--json", "--db", db_});
    filters.insert(filters.begin(), "list");
    const Outcome o = Run(filters);
    EXPECT_EQ(o.status, 0) << o.err;
    return nlohmann::json::parse(o.out);
  };
  const nlohmann::json all = list({});
  std::map<std::string, std::string> seen;  // folio: type, state, lines
  for (size_t i = 0; i < all.size(); ++i) {
    const auto& r = all[i];
    seen[r["Tr_Folio"]] = r["Tr_Tipo"].get<std::string>() + " " +
                          r["Es_Cve_Estado"].get<std::string>() + " " +
                          std::to_string(r["line_count"].get<int>());
    if (i > 0) {
      EXPECT_GE(all[i - 1]["Tr_Fecha"], r["Tr_Fecha"]) << "newest first";
    }
  }
  EXPECT_EQ(seen, (std::map<std::string, std::string>{{folio["request"], "SL AC 2"},
                                                      {folio["shipment"], "EN AC 2"},
                                                      {folio["shipment-lots"], "EN AC 2"},
                                                      {folio["shipment-serials"], "EN CA 2"},
                                                      {folio["reception"], "RC AC 2"},
                                                      {folio["requisition"], "SL AC 1"}}));
  const std::string today = all[0]["Tr_Fecha"];  // the captures' date
  const std::pair<std::vector<std::string>, std::set<std::string>> filtered[] = {
      {{"--state", "CA"}, {folio["shipment-serials"]}},
      {{"--type", "RC"}, {folio["reception"]}},
      {{"--branch", "NORTE", "--type", "SL"}, {folio["request"], folio["requisition"]}},
      {{"--to", "2000-12-31"}, {}},
  };
  for (const auto& [filters, expected] : filtered) {
    std::set<std::string> got;
    for (const auto& r : list(filters)) got.insert(r["Tr_Folio"]);
    EXPECT_EQ(got, expected) << filters[0];
  }
  std::set<std::string> dated;
  for (const auto& r : list({"--from", today, "--to", today})) dated.insert(r["Tr_Folio"]);
  for (const std::string& kind : kinds) EXPECT_TRUE(dated.count(folio[kind])) << kind;
  o = Run({"list", "--db", db_});
  EXPECT_EQ(FirstLine(o.out).substr(0, 5), "Folio");
  EXPECT_NE(o.out.find(folio["reception"] + "  RC    AC"), std::string::npos) << o.out;

  // Each part of the catalogue names what a document needs.
  const std::pair<std::string, std::string> parts[] = {
      {"products", "serial"}, {"warehouses", "SER"}, {"units", "CJA"},
      {"branches", "CEDIS"},  {"periods", today.substr(0, 4) + "-01-01"}};
  for (const auto& [part, shown] : parts) {
    o = Run({"catalogue", part, "--db", db_});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find(shown), std::string::npos) << part << ":\n" << o.out;
  }
  std::map<std::string, std::string> tracking;
  o = Run({"catalogue", "products", "--json", "--db", db_});
  for (const auto& p : nlohmann::json::parse(o.out)) tracking[p["Pr_Cve_Producto"]] = p["tracking"];
  EXPECT_EQ(tracking["MED-LOTE"], "lot");
  EXPECT_EQ(tracking["LAPTOP-01"], "serial");
  EXPECT_EQ(tracking["TORN-001"], "");
}

// Every stored text equal to a key of `names` becomes its value, in every
// table: the catalogue, the folio series and the order keep agreeing.
void RenameCodes(qbx::suite::Database& db, const std::map<std::string, std::string>& names) {
  for (const std::string& table : db.TableNames()) {
    std::set<std::pair<std::string, std::string>> cells;  // column, old text
    auto rows = db.PrepareOnce("SELECT * FROM " + qbx::suite::QuoteIdentifier(table),
                               qbx::suite::Origin::Suite);
    while (rows->Step()) {
      for (int i = 0; i < rows->ColumnCount(); ++i) {
        const qbx::Variant v = rows->Column(i);
        if (v.type() == qbx::Variant::Type::String && names.count(v.ToString()))
          cells.insert({rows->ColumnName(i), v.ToString()});
      }
    }
    rows->Reset();
    for (const auto& [column, old] : cells)
      db.Run("UPDATE " + table + " SET " + column + " = ?1 WHERE " + column + " = ?2",
             {names.at(old), old});
  }
}

// The same texts renamed inside a document, with its header's extra fields.
std::string Renamed(const std::string& text, const std::map<std::string, std::string>& names,
                    const nlohmann::json& header = nlohmann::json::object()) {
  nlohmann::json doc = nlohmann::json::parse(text);
  std::function<void(nlohmann::json&)> walk = [&](nlohmann::json& j) {
    if (j.is_structured()) {
      for (auto& child : j) walk(child);
    } else if (j.is_string() && names.count(j.get<std::string>())) {
      j = names.at(j.get<std::string>());
    }
  };
  walk(doc);
  doc["Encabezado"].update(header);
  return doc.dump();
}

// Folios, codes and the order number all holding a quote, through every
// operation that builds its statements as text: each succeeds, stores the
// codes as given, and cancelling everything gives back the stock.
TEST_F(CliTool, QuotesInFoliosAndCodesGoThroughEveryOperation) {
  ASSERT_EQ(Run({"init", "--sample", "--db", db_}).status, 0);
  const std::map<std::string, std::string> names = {
      {"NORTE", "NOR'TE"},      {"CEDIS", "CE'DIS"}, {"GRL", "G'RL"},       {"PZA", "P'ZA"},
      {"TORN-001", "TOR'N-1"}, {"KIT-01", "KI'T"},  {"PED-0001", "PED'01"}};
  std::map<std::string, std::pair<double, double>> stock_before;
  {
    qbx::suite::Database db(db_, false);
    RenameCodes(db, names);
    for (const auto& s : qbx::suite::ReadStock(db))
      stock_before[s.branch + "/" + s.warehouse + "/" + s.product] = {s.on_hand, s.available};
  }
  const fs::path examples = QUELBARIX_EXAMPLES;
  auto capture = [&](const std::string& document) {
    const Outcome o = Run({"capture", "-", "--db", db_}, document);
    EXPECT_EQ(o.status, 0) << o.err;
    return FirstLine(o.out);
  };
  const std::string request = capture(Renamed(Slurp(examples / "request.json"), names));
  ASSERT_EQ(request.substr(0, 7), "NOR'TE-");
  const std::string shipment = capture(
      Renamed(Slurp(examples / "shipment.json"), names, {{"Tr_Referencia", request}}));
  ASSERT_EQ(shipment.substr(0, 7), "CE'DIS-");
  Outcome o = Run({"cfdi", shipment, "--db", db_});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string reception = capture(
      Renamed(Slurp(examples / "reception.json"), names, {{"Tr_Referencia", shipment}}));
  o = Run({"requisition", "PED'01", "--db", db_});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string requisition = FirstLine(o.out);

  double consolidated = 0;  // what the reception's cancellation makes available again
  {
    qbx::suite::Database db(db_, false);
    for (const auto& line : qbx::suite::OrderLines(db, "PED'01")) {
      ASSERT_EQ(line.state, "AC");
      qbx::suite::RecordConsolidation(db, "PED'01", line.id, reception);
      consolidated += line.control;
    }
  }
  ASSERT_GT(consolidated, 0);
  for (const std::string& folio : {reception, shipment, request, requisition}) {
    o = Run({"cancel", folio, "--db", db_});
    EXPECT_EQ(o.status, 0) << folio << ": " << o.err;
  }

  qbx::suite::Database db(db_, false);
  for (const auto& line : qbx::suite::OrderLines(db, "PED'01")) EXPECT_EQ(line.state, "BO");
  EXPECT_EQ(qbx::suite::MovementsOf(db, shipment).live, 0);
  for (const auto& t : qbx::suite::ListTransfers(db, {})) EXPECT_EQ(t.state, "CA") << t.folio;
  EXPECT_EQ(qbx::suite::TransferRows(db, request).At(0, "Pr_Cve_Producto").ToString(), "TOR'N-1");
  const std::vector<std::string> transport = qbx::suite::TransportDocumentsOf(db, shipment);
  ASSERT_EQ(transport.size(), 1u);
  for (const auto& line : qbx::suite::TransportLines(db, transport[0])) EXPECT_EQ(line.state, "CA");
  double available_gained = 0;
  for (const auto& s : qbx::suite::ReadStock(db)) {
    const auto& [on_hand, available] = stock_before[s.branch + "/" + s.warehouse + "/" + s.product];
    EXPECT_DOUBLE_EQ(s.on_hand, on_hand) << s.branch << "/" << s.warehouse << "/" << s.product;
    available_gained += s.available - available;
  }
  EXPECT_DOUBLE_EQ(available_gained, consolidated);
}

// The keys the README's "JSON output" table says the tool makes.
std::set<std::string> DocumentedToolKeys() {
  std::ifstream readme(QUELBARIX_README);
  std::set<std::string> keys;
  bool in_table = false;
  for (std::string line; std::getline(readme, line);) {
    if (line.starts_with("| Where | Tool keys |")) in_table = true;
    if (!in_table) continue;
    if (!line.starts_with("|")) break;
    const std::string tool = line.substr(line.find('|', 1));
    const std::regex key("`([a-z_]+)`");
    for (std::sregex_iterator m(tool.begin(), tool.end(), key), end; m != end; ++m)
      keys.insert((*m)[1]);
  }
  return keys;
}

// Keys that are neither a column's stored name nor a documented tool key.
void KeysOutsideTheScheme(const nlohmann::json& j, const std::set<std::string>& tool,
                          std::set<std::string>& outside) {
  static const std::regex column("[A-Z][A-Za-z]*(_[A-Za-z0-9]+)+");
  if (j.is_object()) {
    for (const auto& [key, value] : j.items()) {
      if (!tool.count(key) && !std::regex_match(key, column)) outside.insert(key);
      KeysOutsideTheScheme(value, tool, outside);
    }
  } else if (j.is_array()) {
    for (const auto& value : j) KeysOutsideTheScheme(value, tool, outside);
  }
}

// Every JSON the tool prints keys stored values by their column names and
// its own by documented names; show writes a many-line document whole.
TEST_F(CliTool, JsonKeysFollowOneSchemeAndShowHoldsEveryLine) {
  ASSERT_EQ(Run({"init", "--sample", "--db", db_}).status, 0);
  const fs::path examples = QUELBARIX_EXAMPLES;
  for (const char* kind : {"shipment", "reception"})  // the reception refers to the shipment
    ASSERT_EQ(Run({"capture", (examples / kind).string() + ".json", "--db", db_}).status, 0);
  constexpr int kLines = 120;
  std::string lines;
  for (int i = 0; i < kLines; ++i) {
    lines += std::string(i ? "," : "") +
             R"({"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 0.01, "Tr_Unidad_1": "PZA"})";
  }
  const std::string shipment = ShipmentDocument();
  Outcome o = Run({"capture", "-", "--db", db_},
                  shipment.substr(0, shipment.find("\"Detalles\"")) + "\"Detalles\": [" + lines + "]}");
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string many = FirstLine(o.out);
  ASSERT_EQ(Run({"cfdi", many, "--db", db_}).status, 0);

  const nlohmann::json shown = ShowJson(many);
  ASSERT_EQ(shown["lines"].size(), size_t{kLines});
  for (int i = 0; i < kLines; ++i) {
    char id[8];
    std::snprintf(id, sizeof id, "%04d", i + 1);
    EXPECT_EQ(shown["lines"][i]["Tr_ID"], id);
  }
  EXPECT_EQ(shown["movements"].size(), size_t{2 * kLines});  // out of the warehouse, into transit
  for (const auto& m : shown["movements"]) EXPECT_EQ(m["stock"], "applied");
  EXPECT_EQ(shown["transport_documents"].at(0)["lines"].size(), size_t{kLines});
  EXPECT_FALSE(shown["entries"].empty());
  o = Run({"show", many, "--db", db_});
  const size_t from = o.out.find("\nLines:\n"), to = o.out.find("\n\n", from + 1);
  EXPECT_EQ(std::count(o.out.begin() + from, o.out.begin() + to, '\n'), kLines + 2) << o.out;

  std::vector<std::vector<std::string>> commands = {
      {"show", "CEDIS-0000000001"}, {"show", "NORTE-0000000001"}, {"list"}};
  for (const char* kind : {"products", "warehouses", "units", "branches", "periods"})
    commands.push_back({"catalogue", kind});
  std::vector<nlohmann::json> printed = {shown};
  for (auto args : commands) {
    args.insert(args.end(), {"--json", "--db", db_});
    o = Run(args);
    ASSERT_EQ(o.status, 0) << args[0] << ": " << o.err;
    printed.push_back(nlohmann::json::parse(o.out));
  }
  EXPECT_FALSE(printed[1]["referred_by"].empty());
  o = Run({"show", "NADA-1", "--json", "--db", db_});
  EXPECT_EQ(o.status, 1);
  printed.push_back(nlohmann::json::parse(o.err));
  const std::set<std::string> tool = DocumentedToolKeys();
  ASSERT_TRUE(tool.count("transport_folio") && tool.count("exit")) << "README table not found";
  std::set<std::string> outside;
  for (const auto& j : printed) KeysOutsideTheScheme(j, tool, outside);
  EXPECT_EQ(outside, std::set<std::string>{});
}

// What a folder holds: each file's name, size, time and a hash of its bytes.
std::map<std::string, std::string> FolderSnapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    files[e.path().filename().string()] =
        std::to_string(e.file_size()) + " bytes, hash " +
        std::to_string(std::hash<std::string>{}(Slurp(e.path()))) + ", time " +
        std::to_string(e.last_write_time().time_since_epoch().count());
  }
  return files;
}

// show on a database in a folder it may not write to (as root the folder's
// bits stop nothing, so the proof is that nothing in it changed).
TEST_F(CliTool, ShowLeavesTheFolderAsItWas) {
  QBX_SKIP_ON_SERVER("files in a folder");
  const fs::path folder = dir_ / "read-only";
  fs::create_directory(folder);
  db_ = (folder / "t.db").string();
  ASSERT_EQ(Run({"init", "--sample", "--db", db_}).status, 0);
  const Outcome captured = Run({"capture", Write("sl.json", RequestDocument()), "--db", db_});
  ASSERT_EQ(captured.status, 0) << captured.err;
  const std::string folio = FirstLine(captured.out);
  const std::string empty = (folder / "empty.db").string();
  std::ofstream{empty};
  const auto before = FolderSnapshot(folder);
  ASSERT_EQ(before.size(), 2u);  // the last writer took its -wal and -shm along

  fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(ShowJson(folio)["lines"].size(), 2u);
  const Outcome o = Run({"show", folio, "--db", empty});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "quelbarix: " + empty + " is not a Quelbarix database (it has none of its tables)\n");
  const auto after = FolderSnapshot(folder);
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(after, before);
}

TEST_F(CliTool, DemoRunsTheWholeChain) {
  const Outcome o = Run({"demo", "--db", db_});
  EXPECT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_EQ(o.out.find("[FAILED]"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Step 6."), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Every step did what it should."), std::string::npos);
}

}  // namespace
