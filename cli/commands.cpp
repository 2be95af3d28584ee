#include "cli/commands.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "automation/value.h"
#include "cli/checks.h"
#include "cli/digest.h"
#include "cli/document.h"
#include "cli/i18n.h"
#include "cli/session.h"
#include "cli/table.h"
#include "suite/database.h"
#include "suite/reports.h"
#include "suite/retry_keys.h"
#include "suite/sample.h"

namespace qbx::cli {
namespace {

// A component operation answered False: its Error text is the message.
int Refusal(Context& cx, const std::string& what, const std::string& error) {
  cx.io.err << "quelbarix: " << what << '\n' << TextLines(error) << '\n';
  return kExitFailure;
}

// The folio that appeared between two readings ("" when none did).
std::string NewFolio(const std::vector<std::string>& before,
                     const std::vector<std::string>& after) {
  for (const std::string& f : after) {
    if (std::find(before.begin(), before.end(), f) == before.end()) return f;
  }
  return "";
}

std::string ReadInput(Context& cx, const std::string& name) {
  std::ostringstream text;
  if (name == "-") {
    text << cx.io.in.rdbuf();
    return text.str();
  }
  // A folder opens as a file that reads as empty.
  if (std::error_code ec; std::filesystem::is_directory(name, ec))
    throw DocumentError(Format(_("{0} is a folder, not a capture document"), {name}));
  std::ifstream file(name, std::ios::binary);
  if (!file) throw DocumentError(Format(_("cannot read {0}"), {name}));
  text << file.rdbuf();
  return text.str();
}

// "line 300 of 1200" on a terminal, rewritten in place.
class Progress {
 public:
  Progress(std::ostream& out, size_t total, bool shown)
      : out_(out), total_(total), shown_(shown && total > kEvery) {}
  ~Progress() {
    if (shown_ && printed_) out_ << "\r\033[K" << std::flush;
  }
  void Done(size_t line) {
    if (!shown_ || line % kEvery != 0) return;
    out_ << '\r' << Format(_("capturing: line {0} of {1}"), {line, total_}) << std::flush;
    printed_ = true;
  }

 private:
  static constexpr size_t kEvery = 100;
  std::ostream& out_;
  size_t total_;
  bool shown_;
  bool printed_ = false;
};

int RunInit(Context& cx) {
  Session session(cx.db_path, cx.trace);
  suite::CreateDatabase(cx.db_path, cx.invocation.sample);
  cx.io.out << Format(cx.invocation.sample ? _("Created {0} with the sample catalogue")
                                           : _("Created {0} (empty schema)"),
                      {cx.db_path})
            << '\n';
  return kExitOk;
}

// What a write command did, for its retry key and for the person.
struct WriteResult {
  int status = kExitOk;
  std::string folio;  // produced or worked on; printed on standard output
};

// A command that writes: one unit of work unless --per-statement, guarded by
// the retry key when there is one. `body` writes its messages to the
// context's streams and answers the folio; its standard output is held back
// until the unit commits, so that a folio is never printed for work that was
// then not stored. `check` (cli/checks.h) runs before the unit begins, but
// not for a request its key already ran: that one answers what it recorded.
int RunWrite(Context& cx, const std::optional<std::string>& key, const std::string& digest,
             const std::function<void(suite::Database&)>& check,
             const std::function<WriteResult(Context&, Session&, bool in_unit)>& body) {
  Session session(cx.db_path, cx.trace);
  if (check && !(key && suite::FindRetryKey(session.db(), *key))) check(session.db());
  if (cx.invocation.per_statement) {
    session.db();  // a missing database is told as such, not as the component's failure
    return body(cx, session, false).status;
  }

  const std::string command(CommandName(cx.invocation.command));
  std::ostringstream held;
  Context inner{cx.invocation, cx.db_path, Streams{held, cx.io.err, cx.io.in, cx.io.err_is_terminal},
                cx.trace};
  Unit unit(session);
  if (key) {
    if (const auto done = suite::FindRetryKey(session.db(), *key)) {
      if (done->command != command || done->digest != digest) {
        cx.io.err << "quelbarix: "
                  << Format(_("key {0} was used for another request ({1}, folio {2}); nothing "
                              "was done."),
                            {*key, done->command, done->folio})
                  << '\n';
        return kExitFailure;
      }
      cx.io.err << Format(_("Key {0} already ran (folio {1}): nothing was changed."),
                          {*key, done->folio})
                << '\n';
      cx.io.out << done->folio << '\n';
      return kExitOk;
    }
  }
  const WriteResult result = body(inner, session, true);
  if (result.status != kExitOk) return result.status;  // the unit rolls back
  if (key) suite::RecordRetryKey(session.db(), *key, {command, digest, result.folio});
  unit.Commit();
  cx.io.out << held.str();
  return kExitOk;
}

int RunWrite(Context& cx, const std::optional<std::string>& key, const std::string& digest,
             const std::function<WriteResult(Context&, Session&, bool in_unit)>& body) {
  return RunWrite(cx, key, digest, nullptr, body);
}

// The digest of a command whose request is its operand.
std::string OperandDigest(const Context& cx) {
  return Sha256Hex(std::string(CommandName(cx.invocation.command)) + '\n' + cx.invocation.operand);
}

// What a refused or failed command left stored under its folio.
std::string StoredUnder(int64_t lines, const std::string& folio) {
  return Format(P_("{0} line is stored under folio {1}; `quelbarix cancel {1}` undoes them.",
                   "{0} lines are stored under folio {1}; `quelbarix cancel {1}` undoes them.",
                   static_cast<unsigned long>(lines)),
                {lines, folio}) +
         '\n';
}

constexpr const char* kNothingStored =
    N_("Nothing was stored: the whole command was rolled back.\n");

WriteResult Capture(Context& cx, Session& session, bool in_unit, const CaptureDocument& doc) {
  suite::Database& db = session.db();
  Transfer transfer(session);
  transfer.SetMostrarMensajeError(false);
  transfer.Nuevo();
  if (doc.InventarioPendiente()) transfer.SetInventario_Pendiente(*doc.InventarioPendiente());
  tTrEncabezado header = transfer.Encabezado();
  doc.ApplyEncabezado(header);
  transfer.SetEncabezado(header);

  auto refused = [&](size_t line, const std::string& error) {
    Refusal(cx, Format(_("line {0} refused:"), {line}), error);
    if (in_unit) {
      cx.io.err << _(kNothingStored);
      return WriteResult{kExitFailure, ""};
    }
    const std::string folio = transfer.Encabezado().Tr_Folio;
    const int64_t stored = folio.empty() ? 0 : suite::TransferRowCount(db, folio);
    if (stored > 0) {
      cx.io.err << Format(P_("{0} line is stored under folio {1} (not finalised); `quelbarix "
                             "cancel {1}` undoes them.",
                             "{0} lines are stored under folio {1} (not finalised); `quelbarix "
                             "cancel {1}` undoes them.",
                             static_cast<unsigned long>(stored)),
                          {stored, folio})
                << '\n';
    } else {
      cx.io.err << _("Nothing was stored.\n");
    }
    // Movement details the service accepted before the refusal stay pending
    // (they change no stock); a person should know they are there.
    if (const int64_t pending = folio.empty() ? 0 : suite::MovementsOf(db, folio).pending;
        pending > 0) {
      cx.io.err << Format(_("{0} movement detail(s) of folio {1} stay pending; they change no "
                            "stock."),
                          {pending, folio})
                << '\n';
    }
    return WriteResult{kExitFailure, folio};
  };

  {
    Progress progress(cx.io.err, doc.LineCount(), cx.io.err_is_terminal && !cx.trace);
    for (size_t i = 0; i < doc.LineCount(); ++i) {
      transfer.SetDetalle(doc.Detalle(i));
      if (std::string error = transfer.Error(); !error.empty()) return refused(i + 1, error);
      if (!transfer.Add_Transferencia_Detalle()) return refused(i + 1, transfer.Error());
      progress.Done(i + 1);
    }
  }

  const std::string folio = transfer.Encabezado().Tr_Folio;
  if (!cx.invocation.no_finalize && !transfer.Finalizar_Transferencia(folio)) {
    Refusal(cx, _("the transfer was not finalised:"), transfer.Error());
    if (in_unit) {
      cx.io.err << _(kNothingStored);
    } else {
      cx.io.err << StoredUnder(suite::TransferRowCount(db, folio), folio);
    }
    return WriteResult{kExitFailure, folio};
  }
  cx.io.out << folio << '\n';
  return WriteResult{kExitOk, folio};
}

int RunCapture(Context& cx) {
  const CaptureDocument doc = CaptureDocument::Parse(ReadInput(cx, cx.invocation.operand));
  std::optional<std::string> key = doc.Key();
  if (cx.invocation.key) {
    if (key && *key != *cx.invocation.key)
      throw DocumentError(
          Format(_("Clave: \"{0}\" differs from --key \"{1}\""), {*key, *cx.invocation.key}));
    key = cx.invocation.key;
  }
  if (key && cx.invocation.per_statement)
    throw DocumentError(_("Clave: a retry key cannot be used with --per-statement"));
  CheckNewDocument(doc);
  const auto check = [&](suite::Database& db) { CheckAgainstCatalogue(db, doc); };
  return RunWrite(cx, key, doc.Digest(), check,
                  [&](Context& inner, Session& session, bool in_unit) {
    return Capture(inner, session, in_unit, doc);
  });
}

int RunFinalize(Context& cx) {
  return RunWrite(cx, cx.invocation.key, OperandDigest(cx),
                  [](Context& cx, Session& session, bool in_unit) -> WriteResult {
    const std::string& folio = cx.invocation.operand;
    // Without accounting the component does not look the transfer up; the
    // tool does, so a mistyped folio is not handed to document processing.
    if (suite::TransferRowCount(session.db(), folio) == 0) {
      cx.io.err << "quelbarix: " << Format(_("there is no transfer with folio {0}"), {folio})
                << '\n';
      return {kExitFailure, ""};
    }
    // Only the object that captured a transfer can finalise its movements: a
    // new one would post accounting for goods that never moved.
    if (const int64_t pending = suite::MovementsOf(session.db(), folio).pending; pending > 0) {
      if (!cx.invocation.force) {
        cx.io.err << "quelbarix: "
                  << Format(_("transfer {0} has {1} pending movement detail(s) (captured with "
                              "--no-finalize); finalising it here would post accounting for "
                              "goods that never moved. Nothing was done; --force finalises all "
                              "the same."),
                            {folio, pending})
                  << '\n';
        return {kExitFailure, ""};
      }
      cx.io.err << "quelbarix: "
                << Format(_("warning: {0} movement detail(s) of {1} stay pending; the "
                            "accounting entry is posted all the same (--force)."),
                          {pending, folio})
                << '\n';
    }
    Transfer transfer(session);
    if (!transfer.Finalizar_Transferencia(folio)) {
      Refusal(cx, Format(_("transfer {0} was not finalised:"), {folio}), transfer.Error());
      if (in_unit) cx.io.err << _(kNothingStored);
      return {kExitFailure, ""};
    }
    cx.io.out << Format(_("Transfer {0} finalised."), {folio}) << '\n';
    return {kExitOk, folio};
  });
}

int RunCfdi(Context& cx) {
  const auto check = [&cx](suite::Database& db) {
    if (!cx.invocation.force) CheckCfdi(db, cx.invocation.operand);
  };
  return RunWrite(cx, cx.invocation.key, OperandDigest(cx), check,
                  [](Context& cx, Session& session, bool in_unit) -> WriteResult {
    const std::string& folio = cx.invocation.operand;
    const auto before = suite::TransportDocumentsOf(session.db(), folio);
    Transfer transfer(session);
    if (!transfer.Generar_CFDI_Traslado(folio)) {
      Refusal(cx, Format(_("no transport document for {0}:"), {folio}), transfer.Error());
      if (in_unit) cx.io.err << _(kNothingStored);
      return {kExitFailure, ""};
    }
    const std::string traslado =
        NewFolio(before, suite::TransportDocumentsOf(session.db(), folio));
    const auto lines = suite::TransportLines(session.db(), traslado);
    cx.io.out << traslado << '\n';
    if (!lines.empty()) {
      // One invoice key per document; should there be more, the first counts.
      std::string key = lines[0].invoice_key;
      for (const auto& l : lines) key = std::min(key, l.invoice_key);
      const auto count = std::count_if(lines.begin(), lines.end(),
                                       [&](const auto& l) { return l.invoice_key == key; });
      cx.io.err << Format(P_("Transport document {0} (invoice key {1}, {2} line) for shipment "
                             "{3}.",
                             "Transport document {0} (invoice key {1}, {2} lines) for shipment "
                             "{3}.",
                             static_cast<unsigned long>(count)),
                          {traslado, key, count, folio})
                << '\n';
    }
    return {kExitOk, traslado};
  });
}

int RunCancel(Context& cx) {
  return RunWrite(cx, cx.invocation.key, OperandDigest(cx),
                  [](Context& cx, Session& session, bool in_unit) -> WriteResult {
    const std::string& folio = cx.invocation.operand;
    Transfer transfer(session);
    if (!transfer.Cancelar_Transferencia(folio)) {
      Refusal(cx, Format(_("transfer {0} was not cancelled:"), {folio}), transfer.Error());
      if (in_unit) cx.io.err << _(kNothingStored);
      return {kExitFailure, ""};
    }
    cx.io.out << Format(_("Transfer {0} cancelled."), {folio}) << '\n';
    return {kExitOk, folio};
  });
}

int RunRequisition(Context& cx) {
  const auto check = [&cx](suite::Database& db) { CheckRequisition(db, cx.invocation.operand); };
  return RunWrite(cx, cx.invocation.key, OperandDigest(cx), check,
                  [](Context& cx, Session& session, bool in_unit) -> WriteResult {
    const std::string& order = cx.invocation.operand;
    const auto before = suite::RequestsOfOrder(session.db(), order);
    Transfer transfer(session);
    const bool ok = transfer.Genera_Requisicion_Pedido(order);
    const std::string folio = NewFolio(before, suite::RequestsOfOrder(session.db(), order));
    if (!ok) {
      Refusal(cx, Format(_("no requisition from order {0}:"), {order}), transfer.Error());
      if (in_unit) {
        cx.io.err << _(kNothingStored);
      } else if (!folio.empty()) {
        cx.io.err << StoredUnder(suite::TransferRowCount(session.db(), folio), folio);
      }
      return {kExitFailure, ""};
    }
    cx.io.out << folio << '\n';
    return {kExitOk, folio};
  });
}

// --json among the options (before "--"): errors are then JSON too, even
// when the command line itself is wrong.
bool AsksForJson(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--") return false;
    if (a == "--json") return true;
  }
  return false;
}

// The messages a command wrote to standard error, as one JSON object: the
// program's prefix and the final line break dropped.
std::string JsonError(std::string text, int status) {
  constexpr std::string_view kPrefix = "quelbarix: ";
  if (text.starts_with(kPrefix)) text.erase(0, kPrefix.size());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return nlohmann::json{{"error", text}, {"exit", status}}.dump() + '\n';
}

int RunCommand(const std::vector<std::string>& args, Streams io, std::ostream& trace_to);

}  // namespace

int Run(const std::vector<std::string>& args, Streams io) {
  if (!AsksForJson(args)) return RunCommand(args, io, io.err);
  // Held back: on failure everything said becomes the one error object; the
  // trace still goes out as it happens.
  std::ostringstream held;
  const int status = RunCommand(args, Streams{io.out, held, io.in, false}, io.err);
  io.err << (status == kExitOk ? held.str() : JsonError(held.str(), status));
  return status;
}

namespace {

int RunCommand(const std::vector<std::string>& args, Streams io, std::ostream& trace_to) {
  Invocation inv;
  try {
    inv = ParseArguments(args);
  } catch (const UsageError& e) {
    io.err << "quelbarix: " << e.what() << '\n';
    if (!AsksForJson(args)) io.err << _("Try 'quelbarix --help'.\n");
    return kExitUsage;
  }
  if (inv.version) {
    io.out << "quelbarix " << QUELBARIX_VERSION << '\n';
    return kExitOk;
  }
  if (inv.help || inv.command == Command::Help || inv.command == Command::None) {
    Command topic = inv.command;
    if (inv.command == Command::Help) topic = CommandByName(inv.operand).value_or(Command::None);
    io.out << HelpText(topic);
    return kExitOk;
  }

  Context cx{inv, ResolveDatabasePath(inv.db, std::getenv("QUELBARIX_DB")), io, nullptr};
  if (inv.trace) cx.trace = [&trace_to](std::string_view line) { trace_to << line << '\n'; };
  try {
    switch (inv.command) {
      case Command::Init:
        return RunInit(cx);
      case Command::Capture:
        return RunCapture(cx);
      case Command::Finalize:
        return RunFinalize(cx);
      case Command::Cfdi:
        return RunCfdi(cx);
      case Command::Cancel:
        return RunCancel(cx);
      case Command::Requisition:
        return RunRequisition(cx);
      case Command::Show:
        return RunShow(cx);
      case Command::Demo:
        return RunDemo(cx);
      case Command::List:
        return RunList(cx);
      case Command::Catalogue:
        return RunCatalogue(cx);
      case Command::Example:
        return RunExample(cx);
      case Command::None:
      case Command::Help:
        break;
    }
  } catch (const DocumentError& e) {
    io.err << "quelbarix: " << e.what() << '\n';
    return kExitUsage;
  } catch (const suite::MissingDatabase& e) {
    io.err << "quelbarix: "
           << Format(_("database {0} does not exist (create it with: quelbarix init --db {0})"),
                     {e.name()})
           << '\n';
    return kExitFailure;
  } catch (const suite::ExistingDatabase& e) {
    io.err << "quelbarix: "
           << Format(e.has_tables()
                         ? _("database {0} already has the suite's tables; init leaves it as it is")
                         : _("database {0} already exists; init leaves it as it is"),
                     {e.name()})
           << '\n';
    return kExitFailure;
  } catch (const RuntimeError& e) {
    io.err << "quelbarix: " << TextLines(e.description()) << '\n';
    return kExitFailure;
  } catch (const std::exception& e) {
    io.err << "quelbarix: " << e.what() << '\n';
    return kExitFailure;
  }
  return kExitUsage;
}

}  // namespace
}  // namespace qbx::cli
