#include "cli/session.h"

#include <stdexcept>
#include <utility>

#include "cli/i18n.h"
#include "suite/config.h"
#include "suite/connection.h"
#include "suite/database.h"
#include "suite/services.h"
#include "transfer/publico.h"

namespace qbx::cli {

namespace {
ProviderWrapper& Wrapper() {
  static ProviderWrapper wrapper;
  return wrapper;
}
}  // namespace

void SetProviderWrapper(ProviderWrapper wrapper) {
  Wrapper() = std::move(wrapper);
}

Session::Session(const std::string& db_path, TraceWriter trace, Access access)
    : db_path_(db_path), trace_(std::move(trace)) {
  suite::SetDatabasePath(db_path_);
  // The tool links the suite and hands its classes to the component directly
  // instead of through the registry: a person runs it on a fresh machine
  // without registering any library first, and always gets the suite it was
  // built with.
  com::ObjectProvider* provider = &suite::LinkedProvider();
  if (trace_) {
    tracing_.emplace(*provider,
                     [w = trace_](std::string_view line) { w("call: " + std::string(line)); });
    provider = &*tracing_;
    suite::Database::SetDefaultTraceSink([w = trace_](suite::Origin origin, std::string_view sql) {
      w((origin == suite::Origin::Component ? "sql: " : "sql (suite): ") + std::string(sql));
    });
  }
  if (Wrapper()) provider = &Wrapper()(*provider);
  com::SetProcessObjectProvider(provider);
  if (access == Access::ReadWrite) return;
  try {
    db_ = std::make_shared<suite::Database>(db_path_, false, true);
    if (db_->SchemaVersion() == 0)
      throw std::runtime_error(
          Format(_("{0} is not a Quelbarix database (it has none of its tables)"), {db_path_}));
    suite::Database::ShareForThread(db_);
  } catch (...) {
    Uninstall();
    throw;
  }
}

Session::~Session() {
  ResetApartment();
  Uninstall();
}

void Session::Uninstall() {
  connection_ = nullptr;
  db_.reset();
  com::SetProcessObjectProvider(nullptr);
  if (trace_) suite::Database::SetDefaultTraceSink(nullptr);
  suite::SetDatabasePath("");
}

suite::Database& Session::db() {
  if (!db_) db_ = suite::Database::ForThread();
  return *db_;
}

IConnection& Session::connection() {
  if (!connection_) {
    db();
    connection_ = suite::MakeConnection(db_);
  }
  return *connection_;
}

Unit::Unit(Session& session) : connection_(session.connection()) {
  connection_.BeginTrans();
}

Unit::~Unit() {
  if (!open_) return;
  try {
    connection_.RollbackTrans();
  } catch (...) {  // closing the database rolls back all the same
  }
}

void Unit::Commit() {
  connection_.CommitTrans();
  open_ = false;
}

std::string TextLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

namespace {
int g_objects = 0;
}

Transfer::Transfer(const Session& session)
    : client_(TransferenciaClient::Create()),
      trace_(session.trace()),
      label_("Transferencia#" + std::to_string(++g_objects)) {
  if (trace_) trace_("tool: new " + label_);
}

void Transfer::Note(const std::string& call) const {
  if (trace_) trace_("tool: " + label_ + "." + call);
}

bool Transfer::Answer(bool result) const {
  if (trace_) trace_(std::string("tool:   = ") + (result ? "True" : "False"));
  return result;
}

std::string Transfer::Error() {
  return client_.Error();
}

tTrEncabezado Transfer::Encabezado() {
  return client_.Encabezado();
}

void Transfer::SetEncabezado(const tTrEncabezado& value) {
  Note("Encabezado = {Tr_Tipo=" + TraceText(value.Tr_Tipo) +
       ", Sucursal=" + TraceText(value.Sucursal.Sc_Cve_Sucursal) +
       ", Almacen=" + TraceText(value.Almacen.Al_Cve_Almacen) + ", ...}");
  client_.SetEncabezado(value);
}

void Transfer::SetInventario_Pendiente(bool value) {
  Note("Inventario_Pendiente = " + TraceText(value));
  client_.SetInventario_Pendiente(value);
}

void Transfer::SetDetalle(const tTrDetalle& value) {
  Note("Detalle = {Producto=" + TraceText(value.Producto.Pr_Cve_Producto) + ", Tr_Cantidad_1=" +
       TraceText(value.Tr_Cantidad_1) + ", Tr_Unidad_1=" + TraceText(value.Tr_Unidad_1) + ", ...}");
  client_.SetDetalle(value);
}

void Transfer::SetMostrarMensajeError(bool value) {
  Note("MostrarMensajeError = " + TraceText(value));
  client_.SetMostrarMensajeError(value);
}

void Transfer::Nuevo() {
  Note("Nuevo()");
  client_.Nuevo();
}

bool Transfer::Add_Transferencia_Detalle() {
  Note("Add_Transferencia_Detalle()");
  return Answer(client_.Add_Transferencia_Detalle());
}

bool Transfer::Cancelar_Transferencia(std::string folio) {
  Note("Cancelar_Transferencia(" + TraceText(folio) + ")");
  return Answer(client_.Cancelar_Transferencia(folio));
}

bool Transfer::Genera_Requisicion_Pedido(std::string order) {
  Note("Genera_Requisicion_Pedido(" + TraceText(order) + ")");
  return Answer(client_.Genera_Requisicion_Pedido(order));
}

bool Transfer::Finalizar_Transferencia(std::string folio) {
  Note("Finalizar_Transferencia(" + TraceText(folio) + ")");
  return Answer(client_.Finalizar_Transferencia(folio));
}

bool Transfer::Generar_CFDI_Traslado(std::string folio) {
  Note("Generar_CFDI_Traslado(" + TraceText(folio) + ")");
  return Answer(client_.Generar_CFDI_Traslado(folio));
}

}  // namespace qbx::cli
