// One run of the tool against one database: the suite's classes installed as
// the process's object provider (decorated for --trace), the database path
// set, and Transferencia objects created through the component's class
// factory and driven through _Transferencia as any client would.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "cli/trace.h"
#include "component/transferencia_client.h"
#include "services/connection.h"
#include "records/records.h"

namespace qbx::suite {
class Database;
}

namespace qbx::cli {

// For tests and tools: every Session made afterwards installs
// wrapper(provider) instead of the provider it made (the suite's, or the
// tracing one), e.g. to make chosen outside calls fail. The wrapper owns what
// it answers and keeps it alive for the session. Empty to stop wrapping.
using ProviderWrapper = std::function<com::ObjectProvider&(com::ObjectProvider& inner)>;
void SetProviderWrapper(ProviderWrapper wrapper);

// How a command uses the database. A ReadOnly session never writes the file,
// never creates the schema, and works in a folder it may not write to.
enum class Access { ReadWrite, ReadOnly };

class Session {
 public:
  // Installs the provider and the database path; with a trace writer, every
  // statement and outside call is written to it as it happens. A ReadOnly
  // session opens the database at once, refuses a file without the suite's
  // tables, and is the database the suite's services of this thread use.
  Session(const std::string& db_path, TraceWriter trace, Access access = Access::ReadWrite);
  // Ends the apartment (the component's services are released while the
  // provider is still installed), then uninstalls everything.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::string& db_path() const { return db_path_; }
  const TraceWriter& trace() const { return trace_; }
  // The suite's database of this thread (the one the services use).
  suite::Database& db();
  // The suite's connection to that database, as the component gets it.
  IConnection& connection();

 private:
  void Uninstall();

  std::string db_path_;
  TraceWriter trace_;
  std::optional<TracingProvider> tracing_;
  std::shared_ptr<suite::Database> db_;
  com::ComPtr<IConnection> connection_;
};

// One unit of work on the session's database, through the connection's
// BeginTrans/CommitTrans/RollbackTrans: everything the component and the
// suite do meanwhile is stored by Commit, or not at all. Rolled back when it
// ends without Commit (also when an error unwinds it).
class Unit {
 public:
  explicit Unit(Session& session);
  ~Unit();
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;
  // Raises when the database cannot commit; the unit is then rolled back.
  void Commit();

 private:
  IConnection& connection_;
  bool open_ = true;
};

// A Transferencia object as the tool uses it: the client's early-bound
// members, each written to the trace (when there is one) with its result.
class Transfer {
 public:
  explicit Transfer(const Session& session);

  std::string Error();
  tTrEncabezado Encabezado();
  void SetEncabezado(const tTrEncabezado& value);
  void SetInventario_Pendiente(bool value);
  void SetDetalle(const tTrDetalle& value);
  void SetMostrarMensajeError(bool value);
  void Nuevo();
  bool Add_Transferencia_Detalle();
  bool Cancelar_Transferencia(std::string folio);
  bool Genera_Requisicion_Pedido(std::string order);
  bool Finalizar_Transferencia(std::string folio);
  bool Generar_CFDI_Traslado(std::string folio);

 private:
  void Note(const std::string& call) const;
  bool Answer(bool result) const;

  TransferenciaClient client_;
  TraceWriter trace_;
  std::string label_;
};

// A failure text of the component as lines for a terminal (CR LF -> LF, no
// trailing line break).
std::string TextLines(const std::string& text);

}  // namespace qbx::cli
