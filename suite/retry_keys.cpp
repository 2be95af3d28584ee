#include "suite/retry_keys.h"

#include "suite/config.h"
#include "suite/database.h"
#include "suite/dialect.h"

namespace qbx::suite {

std::optional<RetryKey> FindRetryKey(Database& db, const std::string& key) {
  Statement& st = db.Prepare(
      "SELECT Co_Comando, Co_Resumen, Co_Folio FROM Clave_Operacion WHERE Co_Clave = ?1");
  st.Bind({key});
  std::optional<RetryKey> found;
  if (st.Step()) {
    found = RetryKey{st.Column(0).ToStringOrEmpty(), st.Column(1).ToStringOrEmpty(),
                     st.Column(2).ToStringOrEmpty()};
  }
  st.Reset();
  return found;
}

void RecordRetryKey(Database& db, const std::string& key, const RetryKey& record) {
  static const DialectSql kInsertClaveOperacion(
      "INSERT INTO Clave_Operacion (Co_Clave, Co_Comando, Co_Resumen, Co_Folio, Oper_Alta, "
      "Fecha_Alta) VALUES (?1, ?2, ?3, ?4, ?5, {now})");
  db.Run(kInsertClaveOperacion.For(db.dialect()),
      {key, record.command, record.digest, record.folio, CurrentConfig().operator_code});
}

}  // namespace qbx::suite
