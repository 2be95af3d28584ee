// A fresh apartment on recording doubles for each test (or each row of a
// table), with a scripted catalogue and the texts several tests compare.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "records/records.h"
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
  ~TransferTest() override;

  // Releases the object and starts over on a new apartment with new doubles.
  void Renew();
  // The object under test, created on first use (start-up runs then).
  Transferencia& Object();
  void ResetObject() { object_.reset(); }
  // The object, started, with the journal emptied: what follows is one operation's.
  Transferencia& Fresh() {
    Object();
    suite->journal.Clear();
    return Object();
  }
  // The object with a header of the given type written.
  Transferencia& Start(const std::string& tipo);
  // Writes the line with messages off and adds it.
  bool AddLine(const tTrDetalle& line);

  void Answer(const std::string& key, Variant v) { suite->script.Answer(key, std::move(v)); }
  void Param(const std::string& name, Variant v) { suite->Parameter(name, std::move(v)); }
  void InTransit(bool on) { Param("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", on); }
  // Scripts the doubles: "cat:Table.Column[=key]" sets the catalogue, "par:Name"
  // a parameter, "raise:Call" makes the call raise the value as its description,
  // "fail:text" does so for statements containing text; any other key is the
  // call's standing answer.
  void Script(const Answers& answers);
  void Query(const std::string& contains, std::vector<Row> rows) {
    suite->OnQuery(contains, std::move(rows));
  }
  // Statements run so far that start with prefix.
  std::vector<std::string> Run(const std::string& prefix) const;
  // Journal entries that start with prefix, and how many.
  std::vector<std::string> Log(const std::string& prefix) const {
    return suite->journal.Starting(prefix);
  }
  size_t Count(const std::string& prefix) const { return Log(prefix).size(); }
  // Journal entries, or only their call names, that contain any of the fragments.
  Texts Entries(std::initializer_list<const char*> fragments, bool names = false) const;
  // Position of the first journal entry containing fragment (the size if none), for order checks.
  size_t At(const std::string& fragment) const;

  // A header of the given type between branch S1/warehouse A1 and branch
  // S2/warehouse A2, dated 2024-03-05.
  static tTrEncabezado Header(const std::string& tipo);
  // A line of product P1, 5 PZA, cost 10.
  static tTrDetalle Line();

  std::optional<FakeSuite> suite;
  // Data.Obtener_Valor_Campo answers "Table.Column=key" first, then "Table.Column".
  std::map<std::string, std::string> catalogue;

 private:
  std::optional<ScopedProvider> provider_;
  std::unique_ptr<Transferencia> object_;
};

}  // namespace qbx::test
