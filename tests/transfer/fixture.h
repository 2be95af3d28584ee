// A fresh apartment on recording doubles for each test (or each row of a
// table), with a scripted catalogue and the texts several tests compare.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "tests/doubles/doubles.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx::test {

inline const std::string kAddSource = "Quelbarix.dll - Add_Transferencia_Detalle()\r\n";
inline const std::string kInsertSource = "Quelbarix.dll - Inserta_Transferencia()\r\n";
inline const std::string kFinalizarSource = "Quelbarix.dll - Finalizar_Transferencia()\r\n";
inline const std::string kStamp = "2024-03-05 10:30:00";  // the doubles' server time as SQL text

using ::testing::HasSubstr;
using Texts = std::vector<std::string>;
// Answers for the doubles, see TransferTest::Script.
using Answers = std::vector<std::pair<std::string, Variant>>;

// Answers making call return False with message as its object's Obtener_Mensaje_Error.
inline Answers Refusal(const std::string& call, const std::string& message) {
  return {{call, false}, {call.substr(0, call.find('.')) + ".Obtener_Mensaje_Error", message}};
}

// Sets a field of a scripted row.
inline void Set(Row& row, const std::string& field, Variant value) {
  for (auto& [name, v] : row)
    if (name == field) v = std::move(value);
}

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() { Renew(); }
  ~TransferTest() override { object_.reset(), ResetApartment(); }

  // Releases the object and starts over on a new apartment with new doubles:
  // the movement kinds and transit warehouse every capture reads, a catalogue.
  void Renew() {
    object_.reset();
    provider_.reset();
    ResetApartment();
    provider_.emplace(&suite.emplace());
    Script({{"par:MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", false},
            {"par:MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", ""},
            {"par:MOV_SALIDA_TRANSFERENCIA", "STR"}, {"par:MOV_ENTRADA_TRANSITO", "ETT"},
            {"par:MOV_SALIDA_TRANSITO", "STT"}, {"par:MOV_ENTRADA_TRANSFERENCIA", "ETR"},
            {"par:MOV_ALMACEN_TRANSITO_TRANSFERENCIA", "AT"}, {"Data.Obtener_Folio", "F-1"},
            {"Inventory#3.Obtener_Costo_Detalle", "7.5"}});
    catalogue = {{"Almacen.Al_Descripcion", "Almacen general"}, {"Unidad.Un_Descripcion", "Pieza"},
                 {"Producto.Pr_Tipo_Producto", "01"}, {"Producto.Pr_Tipo_Costeo", "P"},
                 {"Producto.Pr_Unidad_Control_1", "PZA"}, {"Producto.Pr_Unidad_Control_2", "KG"},
                 {"Producto.Pr_Unidad_Costo", "PZA"}};
    suite->script.On("Data.Obtener_Valor_Campo", [this](const std::vector<Variant>& a) {
      const std::string base = a[0].ToString() + "." + a[3].ToString();
      auto it = catalogue.find(base + "=" + a[2].ToString());
      if (it == catalogue.end()) it = catalogue.find(base);
      return Variant(it == catalogue.end() ? std::string() : it->second);
    });
  }
  // The object under test, created on first use (start-up runs then).
  Transferencia& Object() {
    if (!object_) object_ = std::make_unique<Transferencia>();
    return *object_;
  }
  // The object, started, with the journal emptied: what follows is one operation's.
  Transferencia& Fresh() { return Object(), suite->journal.Clear(), Object(); }
  // The object with a header of the given type written.
  Transferencia& Start(const std::string& tipo) {
    Object().SetEncabezado(Header(tipo));
    return Object();
  }
  // Writes the line with messages off and adds it.
  bool AddLine(const tTrDetalle& line) {
    Object().SetMostrarMensajeError(false);
    Object().SetDetalle(line);
    return Object().Add_Transferencia_Detalle();
  }

  void Answer(const std::string& key, Variant v) { suite->script.Answer(key, std::move(v)); }
  void Param(const std::string& name, Variant v) { suite->Parameter(name, std::move(v)); }
  void InTransit(bool on) { Param("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", on); }
  // Scripts the doubles: "cat:Table.Column[=key]" sets the catalogue, "par:Name"
  // a parameter, "raise:Call" makes the call raise the value as its description,
  // "fail:text" does so for statements containing text; any other key is the
  // call's standing answer.
  void Script(const Answers& answers) {
    for (const auto& [key, value] : answers) {
      const size_t colon = key.find(':');  // npos: no kind, the key is the call
      const std::string kind = key.substr(0, colon == key.npos ? 0 : colon),
                        name = key.substr(colon + 1);
      if (kind == "cat") catalogue[name] = value.ToString();
      else if (kind == "par") Param(name, value);
      else if (kind == "raise") suite->script.Fail(name, RuntimeError(3000, value.ToString()));
      else if (kind == "fail") suite->FailQuery(name, RuntimeError(-2147217900, value.ToString()));
      else Answer(key, value);
    }
  }
  void Query(const std::string& contains, std::vector<Row> rows) {
    suite->OnQuery(contains, std::move(rows));
  }
  // Statements run so far that start with prefix.
  Texts Run(const std::string& prefix) const {
    Texts all = suite->Statements();
    std::erase_if(all, [&](const std::string& s) { return !s.starts_with(prefix); });
    return all;
  }
  // Journal entries that start with prefix, and how many.
  Texts Log(const std::string& prefix) const { return suite->journal.Starting(prefix); }
  size_t Count(const std::string& prefix) const { return Log(prefix).size(); }
  // Journal entries, or only their call names, that contain any of the fragments.
  Texts Entries(std::initializer_list<const char*> fragments, bool names = false) const {
    Texts all = names ? suite->journal.Calls() : suite->journal.entries();
    std::erase_if(all, [&](const std::string& e) {
      return std::none_of(fragments.begin(), fragments.end(),
                          [&](auto f) { return e.find(f) != e.npos; });
    });
    return all;
  }
  // Position of the first journal entry containing fragment (the size if none), for order checks.
  size_t At(const std::string& fragment) const {
    const Texts& all = suite->journal.entries();
    return std::find_if(all.begin(), all.end(),
                        [&](auto& e) { return e.find(fragment) != e.npos; }) -
           all.begin();
  }

  // A header of the given type between branch S1/warehouse A1 and branch
  // S2/warehouse A2, dated 2024-03-05.
  static tTrEncabezado Header(const std::string& tipo) {
    tTrEncabezado h;
    std::tie(h.Tr_Fecha, h.Tr_Fecha_Entrega, h.Tr_Tipo, h.Tr_Referencia, h.Tr_Comentario) =
        std::tuple(Date::FromCalendar(2024, 3, 5), Date::FromCalendar(2024, 3, 6), tipo,
                   tipo == "SL" ? "" : "REF-1", "Comentario");
    std::tie(h.Sucursal.Sc_Cve_Sucursal, h.Sucursal_Recibe.Sc_Cve_Sucursal,
             h.Almacen.Al_Cve_Almacen, h.Almacen_Recibe.Al_Cve_Almacen) =
        std::tuple("S1", "S2", "A1", "A2");
    return h;
  }
  // A line of product P1, 5 PZA, cost 10.
  static tTrDetalle Line() {
    tTrDetalle d;
    std::tie(d.Producto.Pr_Cve_Producto, d.Tl_Cve_Talla, d.Cl_Cve_Color, d.Tr_Cantidad_1,
             d.Tr_Unidad_1, d.Tr_Costo) = std::tuple("P1", "00", "00", 5, "PZA", 10);
    return d;
  }

  std::optional<FakeSuite> suite;
  // Data.Obtener_Valor_Campo answers "Table.Column=key" first, then "Table.Column".
  std::map<std::string, std::string> catalogue;

 private:
  std::optional<ScopedProvider> provider_;
  std::unique_ptr<Transferencia> object_;
};

}  // namespace qbx::test
