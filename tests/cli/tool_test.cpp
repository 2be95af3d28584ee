// The built tool, run as a person runs it, on temporary databases; several
// tool processes on one database at once: writers take turns, so folios stay
// distinct, every line is stored, stock never goes below zero and no pair of
// commands waits on the other for ever.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "suite/reports.h"
#include "tests/cli/database_texts.h"

namespace qbx::cli::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Args = std::vector<std::string>;

class CliTool : public DatabaseTest {
 protected:
  Spawned Run(Args args, const std::string& input = "") {
    return SpawnTool(dir_, QUELBARIX_TOOL, std::move(args), input);
  }
  // On the test's database.
  Spawned Tool(Args args, const std::string& input = "") {
    args.insert(args.end(), {"--db", db_});
    return Run(std::move(args), input);
  }
  // Checks the exit status and that the error output holds `said`.
  Spawned Expect(int status, const std::string& said, Args args, const std::string& input = "") {
    Spawned o = Tool(std::move(args), input);
    EXPECT_EQ(o.status, status) << o.err;
    EXPECT_TRUE(Has(o.err, said));
    return o;
  }
  // What a command that succeeds prints first.
  std::string Done(Args args, const std::string& input = "") {
    return FirstLine(Expect(0, "", std::move(args), input).out);
  }
  json ShowJson(const std::string& folio) {
    return json::parse(Expect(0, "", {"show", folio, "--json"}).out);
  }
  void Init() { ASSERT_EQ(Tool({"init", "--sample"}).status, 0); }
};

// A request of the northern branch to the distribution centre (no stock
// needed); `second` is spliced into its second line.
std::string RequestDocument(const std::string& second = R"("Tr_Unidad_1": "PAQ")") {
  return R"({"Encabezado": {"Tr_Tipo": "SL", "Tr_Comentario": "request from the tests",
      "Sucursal": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
    "Detalles": [
      {"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 24, "Tr_Unidad_1": "PZA",
       "Tr_Cantidad_Control_2": 2},
      {"Producto": {"Pr_Cve_Producto": "KIT-01"}, "Tr_Cantidad_1": 3, "Tr_Cantidad_Control_2": 18, )" +
         second + "}]}";
}

// A shipment from the distribution centre to the northern branch.
std::string ShipmentDocument(const std::string& extra = "") {
  return "{" + extra + R"("Encabezado": {"Tr_Tipo": "EN",
      "Sucursal": {"Sc_Cve_Sucursal": "CEDIS"}, "Almacen": {"Al_Cve_Almacen": "GRL"},
      "Sucursal_Recibe": {"Sc_Cve_Sucursal": "NORTE"}, "Almacen_Recibe": {"Al_Cve_Almacen": "GRL"}},
    "Detalles": [{"Producto": {"Pr_Cve_Producto": "TORN-001"}, "Tr_Cantidad_1": 3,
                  "Tr_Unidad_1": "PZA"}]})";
}

// A document with the value at a JSON pointer replaced (or added).
std::string Edit(const std::string& pointer, const json& value,
                 const std::string& document = ShipmentDocument()) {
  json j = json::parse(document);
  j[json::json_pointer(pointer)] = value;
  return j.dump();
}

// The document with these lines instead of its own.
struct Line {
  std::string product;
  double quantity;
  std::string unit = "PZA";
};
std::string WithLines(const std::string& document, const std::vector<Line>& lines) {
  json j = json::parse(document);
  j["Detalles"] = json::array();
  for (const Line& l : lines) {
    j["Detalles"].push_back({{"Producto", {{"Pr_Cve_Producto", l.product}}},
                             {"Tr_Cantidad_1", l.quantity},
                             {"Tr_Unidad_1", l.unit}});
  }
  return j.dump();
}

const std::string kRolledBack = "Nothing was stored: the whole command was rolled back.\n";
std::string NegativeCost(const std::string& line, const std::string& cost) {
  return "quelbarix: line " + line +
         " refused:\nQuelbarix.dll - Add_Transferencia_Detalle()\n"
         "El costo no puede ser negativo: \nCosto: " +
         cost + "\n";
}

// One sample database through init, capture, show, refusals and cancel.
TEST_F(CliTool, CaptureShowRefuseAndCancelOnOneDatabase) {
  EXPECT_TRUE(Has(Expect(0, "", {"init", "--sample"}).out, db_));
  Expect(1, "; init leaves it as it is\n", {"init"});
  Spawned o = Tool({"capture", Write("sl.json", RequestDocument())});
  const std::string folio = FirstLine(o.out);
  ASSERT_FALSE(folio.empty()) << o.err;
  EXPECT_EQ(o.out, folio + "\n");
  const json shown = ShowJson(folio);
  const json& first = shown["lines"][0];
  EXPECT_EQ(std::vector<json>({shown["Tr_Folio"], shown["Tr_Tipo"], shown["Es_Cve_Estado"],
                               shown["finalised"], shown["lines"].size(), first["Tr_ID"],
                               first["Pr_Cve_Producto"], first["Tr_Cantidad_Control_1"],
                               first["Sc_Cve_Sucursal_Recibe"],
                               shown["lines"][1]["Pr_Cve_Producto"], shown["movements"].size()}),
            std::vector<json>({folio, "SL", "AC", true, 2, "0001", "TORN-001", 24, "CEDIS",
                               "KIT-01", 0}));  // a request moves no goods
  EXPECT_EQ(FirstLine(Tool({"show", folio}).out), "Transfer " + folio +
                                                      ": request (SL), state AC, finalised " +
                                                      shown["finalised_at"].get<std::string>());

  // A refused line stores nothing: the whole command is one unit.
  const std::string negative = RequestDocument(R"("Tr_Unidad_1": "PAQ", "Tr_Costo": -0.5)");
  const std::string before = Text(db_);
  o = Expect(1, "", {"capture", "-"}, negative);
  EXPECT_EQ(o.out + o.err, NegativeCost("2", "-0.5") + kRolledBack);
  EXPECT_EQ(Text(db_), before);
  // Statement by statement, the first line stays, unfinalised, and the tool
  // says how to undo it.
  o = Expect(1, "", {"capture", "-", "--per-statement"}, negative);
  EXPECT_EQ(o.err.rfind(NegativeCost("2", "-0.5"), 0), 0u) << o.err;
  const std::regex stored(
      "1 line is stored under folio ([^ ]+) \\(not finalised\\); "
      "`quelbarix cancel \\1` undoes them\\.");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(o.err, m, stored)) << o.err;
  const std::string partial = m[1];
  const json kept = ShowJson(partial);
  EXPECT_EQ(json({kept["lines"].size(), kept["finalised"]}), json({1, false}));

  // Cancel, and the component's refusal of a second cancel, reach the person.
  Expect(0, "", {"cancel", partial});
  EXPECT_EQ(ShowJson(partial)["Es_Cve_Estado"], "CA");
  EXPECT_EQ(Expect(1, "", {"cancel", partial}).err,
            "quelbarix: transfer " + partial +
                " was not cancelled:\nQuelbarix.dll - Cancelar_Transferencia()\n"
                "Imposible cancelar la transferencia: " +
                partial + ", con estado = 'CA'\n" + kRolledBack);
}

// What the tool refuses before it sends a document: exit 2, the field's path
// first, and nothing written (not even a folio counter).
TEST_F(CliTool, DocumentsAreCheckedBeforeAnythingIsSent) {
  Init();
  const std::string serials = Slurp(fs::path(QUELBARIX_EXAMPLES) / "shipment-serials.json");
  const std::string shipment = ShipmentDocument();
  const std::string twice = std::string(shipment).replace(
      shipment.find("\"Tr_Cantidad_1\": 3"), 18, R"("Tr_Cantidad_1": 3, "Tr_Cantidad_1": 4)");
  // One row per kind of check.
  const std::pair<std::string, std::string> refused[] = {
      {Edit("/Detalles/0/Tr_Unidad_1", "KG"),
       "Detalles, line 1: Tr_Unidad_1: unit 'KG' cannot be used for product TORN-001: it converts "
       "only CJA, PAQ, PZA"},
      {Edit("/Encabezado/Almacen_Recibe/Al_Cve_Almacen", "OBS"),
       "Encabezado.Almacen_Recibe.Al_Cve_Almacen: warehouse 'OBS' of branch NORTE is no longer in "
       "use (state BA)"},
      {Edit("/Encabezado/Tr_Fecha", "2000-01-01"),
       "Encabezado.Tr_Fecha: 2000-01-01 falls in no open period; the open periods are "},
      {Edit("/Encabezado/Tr_Fecha", "2025-03-05T10:00:00Z"),
       "Encabezado.Tr_Fecha: \"2025-03-05T10:00:00Z\" carries a time zone (Z), which is refused"},
      {Edit("/Detalles/0/Lote/Lt_Cve_Lote", std::string(30, 'x') + "\u00f1"),
       "Detalles, line 1: Lote.Lt_Cve_Lote: a text of 31 characters; the suite keeps at most 30"},
      {Edit("/Encabezado/Tr_Folio", "CEDIS-0000000001"),
       "Encabezado.Tr_Folio: the component assigns the folio of a new transfer"},
      {Edit("/Detalles/1/Tr_Cantidad_1", 2, serials),
       "Detalles, line 2: Tr_Cantidad_1: 2 under serial number SN-0002; a serial-numbered product "
       "takes one line per serial number"},
      {twice, "Detalles, line 1: Tr_Cantidad_1: given twice in the same object"},
  };
  const std::string before = Text(db_);
  for (const auto& [document, message] : refused) {
    const Spawned o = Expect(2, "", {"capture", Write("doc.json", document)});
    EXPECT_EQ(FirstLine(o.err).substr(0, 11 + message.size()), "quelbarix: " + message);
  }
  EXPECT_EQ(Text(db_), before);
  EXPECT_EQ(Expect(2, "", {"capture", dir_.string()}).err,
            "quelbarix: " + dir_.string() + " is a folder, not a capture document\n");
  EXPECT_TRUE(Has(Run({"capture", "--help"}).out, "Tr_Comentario 250"));
}

// A key runs its request once: again it answers what the first run printed
// and changes nothing; another request under it is refused. cfdi and
// requisition answer the document they made, found among the shipment's
// transport documents and the order's requests. A transfer captured without
// finalising cannot be finalised elsewhere unless forced.
TEST_F(CliTool, RetryKeysCfdiRequisitionAndPendingMovements) {
  Init();
  const std::string keyed = ShipmentDocument(R"("Clave": "envio-1",)");
  const Spawned first = Expect(0, "", {"capture", "-"}, keyed);
  const std::string shipment = FirstLine(first.out);
  const Spawned o = Expect(0, "", {"cfdi", shipment});
  // A transport document is numbered like a transfer: its folio is labelled.
  const json transport = ShowJson(shipment)["transport_documents"];
  ASSERT_EQ(json({transport.size(), transport[0]["lines"].size()}), json({1, 1}));
  const std::string traslado = transport[0]["transport_folio"];
  const json& line = transport[0]["lines"][0];
  EXPECT_EQ(json({line["Tr_Folio"], line["Tr_Documento"]}), json({traslado, shipment}));
  EXPECT_EQ(o.out, traslado + "\n");
  // A second transport document only when forced.
  Expect(2, "shipment " + shipment + " already has the live transport document " + traslado,
         {"cfdi", shipment});

  const std::string stored = Text(db_);
  EXPECT_EQ(
      Expect(0, "Key envio-1 already ran (folio " + shipment + ")", {"capture", "-"}, keyed).out,
      first.out);
  // A wrong document is refused before the key is looked at.
  Expect(2, "", {"capture", "-"}, ShipmentDocument(R"("Clave": "envio-1", "X": 1,)"));
  Expect(1, "key envio-1 was used for another request (capture, folio " + shipment,
         {"capture", "-"}, Edit("/Detalles/0/Tr_Cantidad_1", 4, keyed));
  Expect(1, "", {"cancel", shipment, "--key", "envio-1"});
  EXPECT_EQ(Text(db_), stored);
  // Again, a key answers the folio it recorded.
  for (const std::string& out : {"Transfer " + shipment + " cancelled.\n", shipment + "\n"})
    EXPECT_EQ(Expect(0, "", {"cancel", shipment, "--key", "anula-1"}).out, out);
  EXPECT_EQ(ShowJson(shipment)["Es_Cve_Estado"], "CA");
  // Nor one for a cancelled shipment.
  Expect(2, "shipment " + shipment + " is cancelled", {"cfdi", shipment});
  Expect(0, "", {"cfdi", shipment, "--force"});
  EXPECT_EQ(ShowJson(shipment)["transport_documents"].size(), 2u);

  // An order that needs nothing, and one that does not exist, are told apart
  // from the component's missing folio.
  Expect(1, "order PED-0002 needs no request", {"requisition", "PED-0002"});
  Expect(1, "there is no order NOPE", {"requisition", "NOPE"});
  std::set<std::string> requests;  // each run names its own request
  for (int n = 0; n < 2; ++n) {
    const json request = ShowJson(Done({"requisition", "PED-0001"}));
    EXPECT_EQ(json({request["Tr_Tipo"], request["lines"][0]["Tr_Documento"]}),
              json({"SL", "PED-0001"}));
    requests.insert(request["Tr_Folio"]);
  }
  EXPECT_EQ(requests.size(), 2u);

  const std::string pending = Done({"capture", "-", "--no-finalize"}, ShipmentDocument());
  const std::string unposted = Text(db_);
  Expect(1, "pending movement detail(s)", {"finalize", pending});
  EXPECT_EQ(Text(db_), unposted);
  Expect(0, "warning", {"finalize", pending, "--force"});
}

// The documents of examples/ in the order examples/README.md gives, and one
// of many lines, on a new sample database; then show, list and catalogue show
// what a person needs.
TEST_F(CliTool, ExamplesRunInOrderAndEveryViewShowsThem) {
  Init();
  const fs::path examples = QUELBARIX_EXAMPLES;
  const std::string kinds[] = {"request", "shipment", "shipment-lots", "shipment-serials",
                               "reception"};
  std::string listed;
  std::map<std::string, std::string> folio;  // by kind
  std::set<std::string> captured;
  for (const std::string& kind : kinds) {
    const fs::path file = examples / (kind + ".json");
    EXPECT_EQ(Run({"example", kind}).out, Slurp(file)) << kind;
    captured.insert(folio[kind] = Done({"capture", file.string()}));
    listed += kind + "\n";
  }
  EXPECT_EQ(Run({"example"}).out, listed);
  EXPECT_EQ(folio["shipment"], "CEDIS-0000000001");  // what reception.json refers to
  folio["requisition"] = Done({"requisition", FirstLine(Slurp(examples / "order.txt"))});

  // show writes a many-line document whole.
  constexpr size_t kLines = 120;
  const std::string many =
      Done({"capture", "-"},
           WithLines(ShipmentDocument(), std::vector<Line>(kLines, {"TORN-001", 0.01})));
  captured.insert(many);
  Expect(0, "", {"cfdi", many});
  const json shown = ShowJson(many);
  ASSERT_EQ(shown["lines"].size(), kLines);
  for (size_t i = 0; i < kLines; ++i)
    EXPECT_EQ(shown["lines"][i]["Tr_ID"], std::to_string(10001 + i).substr(1));
  EXPECT_EQ(shown["movements"].size(), 2 * kLines);  // out of the warehouse, into transit
  for (const auto& m : shown["movements"]) EXPECT_EQ(m["stock"], "applied");
  EXPECT_EQ(shown["transport_documents"].at(0)["lines"].size(), kLines);
  EXPECT_FALSE(shown["entries"].empty());
  const std::string lines = Tool({"show", many}).out;
  const size_t from = lines.find("\nLines:\n"), to = lines.find("\n\n", from + 1);
  EXPECT_EQ(std::count(lines.begin() + from, lines.begin() + to, '\n'), kLines + 2) << lines;
  EXPECT_FALSE(ShowJson(folio["shipment"])["referred_by"].empty());

  // show: the folio as stored whatever its case as typed, a cancelled
  // movement as cancelled.
  const std::string serials = folio["shipment-serials"];
  Expect(0, "", {"cancel", serials});
  std::string typed = serials;
  for (char& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const json cancelled = ShowJson(typed);
  EXPECT_EQ(cancelled["Tr_Folio"], serials);
  ASSERT_FALSE(cancelled["movements"].empty());
  for (const auto& m : cancelled["movements"]) EXPECT_EQ(m["stock"], "cancelled") << m;
  const std::string text = Tool({"show", typed}).out;
  EXPECT_EQ(text.rfind("Transfer " + serials, 0), 0u) << text;
  EXPECT_EQ((text + cancelled.dump()).find("applied"), std::string::npos) << text;

  // list: newest first, each transfer's type, state and lines; its filters.
  auto list = [&](Args filters) {
    filters.insert(filters.begin(), "list");
    filters.push_back("--json");
    std::map<std::string, std::string> seen;  // folio: type, state, lines
    const json rows = json::parse(Expect(0, "", filters).out);
    for (size_t i = 0; i < rows.size(); ++i) {
      const json& r = rows[i];
      seen[r["Tr_Folio"]] = r["Tr_Tipo"].get<std::string>() + " " +
                            r["Es_Cve_Estado"].get<std::string>() + " " + r["line_count"].dump();
      EXPECT_GE(rows[i ? i - 1 : 0]["Tr_Fecha"], r["Tr_Fecha"]) << "newest first";
    }
    return std::pair{seen, rows.empty() ? "" : rows[0]["Tr_Fecha"].get<std::string>()};
  };
  const auto [all, today] = list({});  // today: the captures' date
  EXPECT_EQ(all, (std::map<std::string, std::string>{{folio["request"], "SL AC 2"},
                                                     {folio["shipment"], "EN AC 2"},
                                                     {folio["shipment-lots"], "EN AC 2"},
                                                     {folio["shipment-serials"], "EN CA 2"},
                                                     {folio["reception"], "RC AC 2"},
                                                     {folio["requisition"], "SL AC 1"},
                                                     {many, "EN AC 120"}}));
  const std::pair<Args, std::set<std::string>> filtered[] = {
      {{"--state", "CA"}, {serials}},
      {{"--branch", "NORTE", "--type", "SL"}, {folio["request"], folio["requisition"]}},
      {{"--to", "2000-12-31"}, {}},
      {{"--from", today, "--to", today}, captured},
  };
  for (const auto& [filters, expected] : filtered) {
    std::set<std::string> got;
    for (const auto& [f, what] : list(filters).first) got.insert(f);
    EXPECT_EQ(got, expected) << filters[0];
  }
  const std::string table = Tool({"list"}).out;
  EXPECT_EQ(table.rfind("Folio", 0), 0u);
  EXPECT_TRUE(Has(table, folio["reception"] + "  RC    AC"));

  // Each part of the catalogue names what a document needs.
  for (const auto& [part, named] : {std::pair<std::string, std::string>{"warehouses", "SER"},
                                    {"units", "CJA"},
                                    {"branches", "CEDIS"},
                                    {"periods", today.substr(0, 4) + "-01-01"},
                                    {"products", "serial"}})
    EXPECT_TRUE(Has(Expect(0, "", {"catalogue", part}).out, named)) << part;
  std::map<std::string, std::string> tracking;
  for (const auto& p : json::parse(Expect(0, "", {"catalogue", "products", "--json"}).out))
    tracking[p["Pr_Cve_Producto"]] = p["tracking"];
  EXPECT_EQ(tracking["MED-LOTE"], "lot");
  EXPECT_EQ(tracking["LAPTOP-01"], "serial");
  EXPECT_EQ(tracking["TORN-001"], "");

}

// Every stored text equal to a key of `names` becomes its value, in every
// table: the catalogue, the folio series and the order keep agreeing.
void RenameCodes(suite::Database& db, const std::map<std::string, std::string>& names) {
  for (const std::string& table : db.TableNames()) {
    std::set<std::pair<std::string, std::string>> cells;  // column, old text
    auto rows =
        db.PrepareOnce("SELECT * FROM " + suite::QuoteIdentifier(table), suite::Origin::Suite);
    while (rows->Step()) {
      for (int i = 0; i < rows->ColumnCount(); ++i) {
        const Variant v = rows->Column(i);
        if (v.type() == Variant::Type::String && names.count(v.ToString()))
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
                    const json& header = json::object()) {
  json doc = json::parse(text);
  std::function<void(json&)> walk = [&](json& j) {
    if (j.is_structured())
      for (auto& child : j) walk(child);
    if (j.is_string() && names.count(j.get<std::string>())) j = names.at(j.get<std::string>());
  };
  walk(doc);
  doc["Encabezado"].update(header);
  return doc.dump();
}

// Folios, codes and the order number all holding a quote, through every
// operation that builds its statements as text: each succeeds, stores the
// codes as given, and cancelling everything gives back the stock.
TEST_F(CliTool, QuotesInFoliosAndCodesGoThroughEveryOperation) {
  Init();
  const std::map<std::string, std::string> names = {
      {"NORTE", "NOR'TE"},     {"CEDIS", "CE'DIS"}, {"GRL", "G'RL"},       {"PZA", "P'ZA"},
      {"TORN-001", "TOR'N-1"}, {"KIT-01", "KI'T"},  {"PED-0001", "PED'01"}};
  std::map<std::string, std::pair<double, double>> stock_before;
  {
    suite::Database db(db_, false);
    RenameCodes(db, names);
    for (const auto& s : suite::ReadStock(db))
      stock_before[s.branch + "/" + s.warehouse + "/" + s.product] = {s.on_hand, s.available};
  }
  auto capture = [&](const char* example, const json& header) {
    const fs::path file = fs::path(QUELBARIX_EXAMPLES) / example;
    return Done({"capture", "-"}, Renamed(Slurp(file), names, header));
  };
  const std::string request = capture("request.json", json::object());
  ASSERT_EQ(request.substr(0, 7), "NOR'TE-");
  const std::string shipment = capture("shipment.json", {{"Tr_Referencia", request}});
  ASSERT_EQ(shipment.substr(0, 7), "CE'DIS-");
  ASSERT_EQ(Tool({"cfdi", shipment}).status, 0);
  const std::string reception = capture("reception.json", {{"Tr_Referencia", shipment}});
  const std::string requisition = Done({"requisition", "PED'01"});
  ASSERT_FALSE(HasFailure());

  double consolidated = 0;  // what the reception's cancellation makes available again
  {
    suite::Database db(db_, false);
    for (const auto& line : suite::OrderLines(db, "PED'01")) {
      ASSERT_EQ(line.state, "AC");
      suite::RecordConsolidation(db, "PED'01", line.id, reception);
      consolidated += line.control;
    }
  }
  ASSERT_GT(consolidated, 0);
  for (const std::string& folio : {reception, shipment, request, requisition})
    EXPECT_EQ(Tool({"cancel", folio}).status, 0) << folio;

  suite::Database db(db_, false);
  for (const auto& line : suite::OrderLines(db, "PED'01")) EXPECT_EQ(line.state, "BO");
  EXPECT_EQ(suite::MovementsOf(db, shipment).live, 0);
  for (const auto& t : suite::ListTransfers(db, {})) EXPECT_EQ(t.state, "CA") << t.folio;
  EXPECT_EQ(suite::TransferRows(db, request).At(0, "Pr_Cve_Producto").ToString(), "TOR'N-1");
  const std::vector<std::string> transport = suite::TransportDocumentsOf(db, shipment);
  ASSERT_EQ(transport.size(), 1u);
  for (const auto& line : suite::TransportLines(db, transport[0])) EXPECT_EQ(line.state, "CA");
  double available_gained = 0;
  for (const auto& s : suite::ReadStock(db)) {
    const auto& [on_hand, available] = stock_before[s.branch + "/" + s.warehouse + "/" + s.product];
    EXPECT_DOUBLE_EQ(s.on_hand, on_hand) << s.branch << "/" << s.warehouse << "/" << s.product;
    available_gained += s.available - available;
  }
  EXPECT_DOUBLE_EQ(available_gained, consolidated);
}

// show on a database in a folder it may not write to (as root the folder's
// bits stop nothing, so the proof is that nothing in it changed).
TEST_F(CliTool, ShowLeavesTheFolderAsItWas) {
  QBX_SKIP_ON_SERVER("files in a folder");
  const fs::path folder = dir_ / "read-only";
  fs::create_directory(folder);
  db_ = (folder / "t.db").string();
  Init();
  const std::string folio = Done({"capture", Write("sl.json", RequestDocument())});
  const std::string empty = (folder / "empty.db").string();
  std::ofstream{empty};
  auto snapshot = [&] {
    std::map<std::string, std::string> files;  // name: size, hash of the bytes, time
    for (const auto& e : fs::directory_iterator(folder))
      files[e.path().filename().string()] =
          std::to_string(e.file_size()) + " " +
          std::to_string(std::hash<std::string>{}(Slurp(e.path()))) + " " +
          std::to_string(e.last_write_time().time_since_epoch().count());
    return files;
  };
  const auto before = snapshot();
  ASSERT_EQ(before.size(), 2u);  // the last writer took its -wal and -shm along
  fs::permissions(folder, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_EQ(ShowJson(folio)["lines"].size(), 2u);
  const Spawned o = Run({"show", folio, "--db", empty});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "quelbarix: " + empty + " is not a Quelbarix database (it has none of its tables)\n");
  const auto after = snapshot();
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(after, before);
}

TEST_F(CliTool, DemoRunsTheWholeChain) {
  const std::string out = Expect(0, "", {"demo"}).out;
  EXPECT_EQ(out.find("[FAILED]"), std::string::npos) << out;
  EXPECT_TRUE(Has(out, "Step 6."));
  EXPECT_TRUE(Has(out, "Every step did what it should."));
}

// Far beyond any fair wait behind other writers (each waits at most the busy
// timeout): a child still running then is stuck.
constexpr double kKillAfter = 60;

// Three lines, one product twice; the sample stock covers many of them.
const std::vector<Line> kShipmentLines = {{"TORN-001", 3}, {"KIT-01", 1, "PAQ"}, {"TORN-001", 4}};

class Concurrency : public CliTool {
 protected:
  // Shipped goods wait in the receiver's transit warehouse, so every unit
  // stays counted somewhere.
  void SetUp() override {
    CliTool::SetUp();
    if (!IsSkipped()) Sample({kTransit});
  }

  // Every command as a process of its own, all started before any is waited
  // for, each with its own folder for its standard streams.
  std::vector<Spawned> RunAtOnce(const std::vector<Args>& commands, bool per_statement = false) {
    std::vector<Started> started;
    for (Args args : commands) {
      const fs::path folder = dir_ / ("run" + std::to_string(runs_++));
      fs::create_directory(folder);
      args.insert(args.end(), {"--db", db_});
      if (per_statement) args.push_back("--per-statement");
      started.push_back(StartTool(folder, QUELBARIX_TOOL, args));
    }
    std::vector<Spawned> done;
    for (const auto& s : started) {
      done.push_back(WaitTool(s, kKillAfter));
      EXPECT_NE(done.back().status, 128 + SIGKILL) << "killed after " << kKillAfter << " s";
    }
    return done;
  }

  // On hand per product over every warehouse (to six decimals, as kept);
  // checks that no figure is below zero.
  std::map<std::string, long long> Totals() {
    suite::Database db(db_, false);
    std::map<std::string, long long> totals;
    for (const suite::StockFigures& f : suite::ReadStock(db)) {
      EXPECT_GE(f.on_hand, 0) << f.product << " at " << f.branch << "/" << f.warehouse;
      totals[f.product] += std::llround(f.on_hand * 1e6);
    }
    return totals;
  }

  int runs_ = 0;
};

// Two and four captures at once, whole-command units and statement by
// statement, the cancellation of an earlier shipment started first or last
// among them: each capture gets a folio of its own and keeps all its lines,
// the cancelled shipment moves nothing, and no unit is lost or made up.
TEST_F(Concurrency, CapturesAndCancelsAtOnceAllFinish) {
  const std::map<std::string, std::pair<std::string, size_t>> documents = {
      {"EN", {Write("en.json", WithLines(ShipmentDocument(), kShipmentLines)), 3}},
      {"SL", {Write("sl.json", RequestDocument()), 2}}};
  const std::map<std::string, long long> before = Totals();
  std::set<std::string> folios;
  std::string shipped;  // a shipment of the round before, cancelled in this one
  int n = 0;
  for (const auto& [crowd, per_statement] :
       std::vector<std::pair<Args, bool>>{{{"EN", "EN"}, false},
                                          {{"SL", "SL"}, false},
                                          {{"EN", "SL", "EN", "SL"}, false},
                                          {{"SL", "SL", "SL", "SL"}, true},
                                          {{"EN", "EN", "SL", "SL"}, true}}) {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(testing::PrintToString(crowd) + (per_statement ? " per statement" : "") +
                   ", cancelling " + shipped);
      std::vector<Args> commands;
      for (const std::string& kind : crowd)
        commands.push_back({"capture", documents.at(kind).first});
      const size_t at = n++ % 2 ? commands.size() : 0;
      if (!shipped.empty()) commands.insert(commands.begin() + at, {"cancel", shipped});
      std::vector<Spawned> outcomes = RunAtOnce(commands, per_statement);
      suite::Database db(db_, false);
      if (!shipped.empty()) {
        ASSERT_EQ(outcomes[at].status, 0) << outcomes[at].err;
        outcomes.erase(outcomes.begin() + at);
        const suite::RowSet rows = suite::TransferRows(db, shipped);
        for (size_t r = 0; r < rows.rows.size(); ++r)
          EXPECT_EQ(rows.At(r, "Es_Cve_Estado").ToStringOrEmpty(), "CA");
        EXPECT_EQ(suite::MovementsOf(db, shipped).live, 0);
        shipped.clear();
      }
      for (size_t i = 0; i < outcomes.size(); ++i) {
        ASSERT_EQ(outcomes[i].status, 0) << crowd[i] << ": " << outcomes[i].err;
        const std::string folio = FirstLine(outcomes[i].out);
        EXPECT_TRUE(folios.insert(folio).second) << folio << " handed out twice";
        const suite::RowSet rows = suite::TransferRows(db, folio);
        EXPECT_EQ(rows.rows.size(), documents.at(crowd[i]).second) << folio;
        for (size_t r = 0; r < rows.rows.size(); ++r)
          EXPECT_EQ(rows.At(r, "Tr_Tipo").ToStringOrEmpty(), crowd[i]) << folio;
        EXPECT_TRUE(suite::FinalisedAt(db, folio).has_value()) << folio;
        if (crowd[i] == "EN") shipped = folio;
      }
    }
  }
  EXPECT_EQ(Totals(), before);
}

// Two shipments of a warehouse's whole stock at once: one ships it, the
// other is refused, and no unit is lost or made up. Statement by statement
// both may add their line; finalising checks the stock again.
TEST_F(Concurrency, OnlyOneOfTwoShipmentsGetsTheLastUnits) {
  // Statement by statement one process mostly waits out the other's whole
  // capture: lines after the contested one and more rounds make an overlap
  // likely.
  std::vector<suite::CatalogueProduct> products = {
      {"RELLENO", "Relleno", "115-03-001", "CEDIS", "GRL", 1000, 1}};
  for (int n = 0; n < 10; ++n)
    products.push_back(
        {"ULTIMAS-" + std::to_string(n), "Últimas piezas", "115-03-001", "CEDIS", "GRL", 5, 2.5});
  {
    suite::Database db(db_, false);
    suite::AddCatalogueProducts(db, products);
  }
  for (int n = 0; n < 10; ++n) {
    const bool per_statement = n >= 2;
    const std::string& product = products[n + 1].code;
    SCOPED_TRACE(product + (per_statement ? ", per statement" : ""));
    const std::map<std::string, long long> before = Totals();
    std::vector<Line> lines = {{product, 5}};
    lines.resize(9, {"RELLENO", 1, "PZA"});
    const Args args = {"capture", Write(product + ".json", WithLines(ShipmentDocument(), lines))};
    int shipped = 0;
    for (const Spawned& o : RunAtOnce({args, args}, per_statement)) {
      shipped += o.status == 0 ? 1 : 0;
      if (o.status == 0) continue;
      EXPECT_EQ(o.status, 1) << o.err;
      EXPECT_TRUE(Has(o.err, "Existencia insuficiente del producto: " + product));
    }
    EXPECT_EQ(shipped, 1);
    EXPECT_EQ(Totals(), before);
  }
}

}  // namespace
}  // namespace qbx::cli::test
