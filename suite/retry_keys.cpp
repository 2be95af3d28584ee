#include "suite/retry_keys.h"

#include "suite/config.h"
#include "suite/database.h"
#include "suite/dialect.h"

namespace qbx::suite {

std::optional<RetryKey> FindRetryKey(Database& db, const std::string& key) {
  Query query(db,
              "SELECT Co_Comando, Co_Resumen, Co_Folio FROM Clave_Operacion WHERE Co_Clave = ?1",
              {key});
  if (!query.Step()) return std::nullopt;
  return RetryKey{query.Text(0), query.Text(1), query.Text(2)};
}

void RecordRetryKey(Database& db, const std::string& key, const RetryKey& record) {
  static const DialectSql kInsertClaveOperacion(
      "INSERT INTO Clave_Operacion (Co_Clave, Co_Comando, Co_Resumen, Co_Folio, Oper_Alta, "
      "Fecha_Alta) VALUES (?1, ?2, ?3, ?4, ?5, {now})");
  db.Run(kInsertClaveOperacion.For(db.dialect()),
      {key, record.command, record.digest, record.folio, CurrentConfig().operator_code});
}

}  // namespace qbx::suite
