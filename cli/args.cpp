#include "cli/args.h"

#include <algorithm>
#include <array>

#include "cli/i18n.h"
#include "cli/checks.h"

namespace qbx::cli {
namespace {

// Options a command accepts besides the common ones (--db, --trace, --help).
enum OptionBit : unsigned {
  kSample = 1,
  kNoFinalize = 2,
  kJson = 4,
  kPerStatement = 8,
  kForce = 16,
  kKey = 32,
  kFilters = 64,  // list: --type, --state, --branch, --from, --to
  kWrites = kPerStatement | kKey,  // what every command that writes takes
};

struct CommandSpec {
  Command command;
  std::string_view name;
  std::string_view operand;  // "" when the command takes none
  bool operand_optional;
  unsigned options;
  std::string_view usage;
  std::string_view help;
};

constexpr std::string_view kDbOption = N_(
    "  --db NAME   the database: a file (PATH or sqlite:PATH), or a PostgreSQL\n"
    "              server's (postgresql://... or \"host=... dbname=...\");\n");

constexpr std::string_view kOtherCommonOptions = N_(
    "  --trace     print each statement and each call to the suite's services on\n"
    "              standard error as it happens\n"
    "  --help      this text\n");

constexpr std::string_view kWriteOptions = N_(
    "  --key KEY       run at most once under this key: running the same key\n"
    "                  again prints the folio it recorded and changes nothing;\n"
    "                  the same key for another request is refused\n"
    "  --per-statement let each statement and service call commit on its own, as\n"
    "                  the component does by itself; a failure then leaves what\n"
    "                  was done before it (and --key cannot be used)\n"
    "\n"
    "Everything the command does is one unit of work unless --per-statement is\n"
    "given: on any refusal or error nothing is stored.\n");

constexpr std::array kCommands = {
    CommandSpec{Command::Help, "help", "COMMAND", true, 0, "help [COMMAND]",
                N_("Shows the help of a command, or the list of commands.\n")},
    CommandSpec{Command::Init, "init", "", false, kSample, "init [--sample] [--db NAME]",
                N_("Creates a new database with the suite's schema. It refuses a path that\n"
                "already exists. On a PostgreSQL server the database must exist (createdb)\n"
                "and hold none of the suite's tables yet.\n"
                "\n"
                "  --sample    also load the sample catalogue (branches CEDIS, NORTE and SUR,\n"
                "              their warehouses, products, units, parameters, periods,\n"
                "              opening stock and two orders)\n")},
    CommandSpec{Command::Capture, "capture", "FILE", false, kNoFinalize | kWrites,
                "capture FILE.json [--no-finalize] [--key KEY] [--per-statement] [--db NAME]",
                N_("Captures one transfer from a JSON document (FILE, or - for standard input)\n"
                "through the component, as a client would: Nuevo, Encabezado, then Detalle\n"
                "and Add_Transferencia_Detalle for each line, then Finalizar_Transferencia\n"
                "on the same object. Prints the new folio.\n"
                "\n"
                "The document:\n"
                "  {\"Encabezado\": {\"Tr_Tipo\": \"EN\", \"Tr_Fecha\": \"2024-03-05\",\n"
                "                  \"Sucursal\": {\"Sc_Cve_Sucursal\": \"CEDIS\"},\n"
                "                  \"Almacen\": {\"Al_Cve_Almacen\": \"GRL\"}, ...},\n"
                "   \"Detalles\": [{\"Producto\": {\"Pr_Cve_Producto\": \"...\"},\n"
                "                 \"Tr_Cantidad_1\": 5, \"Tr_Unidad_1\": \"PZA\", ...}],\n"
                "   \"Inventario_Pendiente\": false, \"Clave\": \"my-key-1\"}\n"
                "Fields carry the names of the component's records (nested records too:\n"
                "Sucursal, Sucursal_Recibe, Almacen, Almacen_Recibe, Producto, Serie, Lote);\n"
                "dates are ISO 8601 texts (2024-03-05 or 2024-03-05T14:30:00). Header\n"
                "fields left out keep what Nuevo set (the dates: today).\n"
                "\n"
                "\"Clave\" (optional) is the document's retry key, as --key.\n"
                "\n"
                "The whole document is checked before anything is sent; a refused one\n"
                "exits 2, naming the field and line, and stores nothing. Besides unknown\n"
                "fields and values of the wrong type it refuses: a Tr_Tipo other than SL,\n"
                "EN or RC (or none), a NUL character in a text, a number beyond the range\n"
                "of a double, a key given twice in one object, a date with a time zone (Z,\n"
                "+02:00: dates are the suite's local time, so write that time without a\n"
                "zone), Encabezado.Tr_Folio (the component assigns the folio), a text\n"
                "longer than the suite keeps (below), more than 32767 lines; then, against\n"
                "the database: an unknown or discontinued product, branch or warehouse, a\n"
                "line's Tr_Unidad_1 the product cannot be converted from, a quantity other\n"
                "than 1 under a serial number, and a Tr_Fecha outside the open periods\n"
                "(`quelbarix catalogue periods`).\n"
                "\n"
                "On a refused line it prints the component's message and the line's\n"
                "number, and nothing is stored. With --per-statement, lines stored before\n"
                "it stay stored under the folio it prints, and `quelbarix cancel FOLIO`\n"
                "undoes them.\n"
                "\n"
                "  --no-finalize  store the lines but do not finalise. Only the object that\n"
                "                 captured a transfer can finalise its inventory movements,\n"
                "                 so movements of a transfer captured this way stay pending.\n")},
    CommandSpec{Command::Finalize, "finalize", "FOLIO", false, kForce | kWrites,
                "finalize FOLIO [--force] [--key KEY] [--per-statement] [--db NAME]",
                N_("Finalises a stored transfer on a new object: produces its accounting entry\n"
                "(when the suite posts transfers) and hands it to the suite's document\n"
                "processing.\n"
                "\n"
                "It cannot finalise inventory movements captured on another object: only\n"
                "the object that captured a transfer can, and `quelbarix capture` does that\n"
                "itself unless --no-finalize was given. So it refuses a transfer whose\n"
                "movements are still pending: its accounting entry would post goods that\n"
                "never moved.\n"
                "\n"
                "  --force     finalise all the same (a warning is printed)\n")},
    CommandSpec{Command::Cfdi, "cfdi", "FOLIO", false, kForce | kWrites,
                "cfdi FOLIO [--force] [--key KEY] [--per-statement] [--db NAME]",
                N_("Writes the transport document (Traslado rows) of a shipment (type EN) and\n"
                   "prints its folio. It refuses (exit 2) a cancelled shipment and one that\n"
                   "already has a live (not cancelled) transport document.\n"
                   "\n"
                   "  --force     write it all the same\n")},
    CommandSpec{Command::Cancel, "cancel", "FOLIO", false, kWrites,
                "cancel FOLIO [--key KEY] [--per-statement] [--db NAME]",
                N_("Cancels a stored transfer: its accounting entry, inventory movements, stock\n"
                "commitments, transport document and voucher (shipments) and consolidated\n"
                "order lines (receptions) are undone, and the transfer it refers to is\n"
                "reopened.\n")},
    CommandSpec{Command::Requisition, "requisition", "ORDER", false, kWrites,
                "requisition ORDER [--key KEY] [--per-statement] [--db NAME]",
                N_("Derives a transfer request (type SL) from a customer order, for what the\n"
                "order's distribution centre cannot cover from its stock, finalises it and\n"
                "prints its folio.\n")},
    CommandSpec{Command::Show, "show", "FOLIO", false, kJson, "show FOLIO [--json] [--db NAME]",
                N_("Shows a transfer: its rows and state, whether it was finalised, its\n"
                "inventory movements, its transport document and its accounting entry.\n"
                "\n"
                "  --json      the same as one JSON object\n")},
    CommandSpec{Command::List, "list", "", false, kJson | kFilters,
                "list [--type SL|EN|RC] [--state STATE] [--branch CODE] [--from DATE] "
                "[--to DATE] [--json] [--db NAME]",
                N_("Lists the transfers, newest first: folio, type, state, date, branch and\n"
                "number of lines, one row per folio.\n"
                "\n"
                "  --type T    only requests (SL), shipments (EN) or receptions (RC)\n"
                "  --state S   only this state (AC live, CA cancelled, RCP partly received,\n"
                "              ...)\n"
                "  --branch B  only transfers of this branch\n"
                "  --from D    only those dated D (yyyy-mm-dd) or later\n"
                "  --to D      only those dated D or earlier\n"
                "  --json      the same as a JSON list\n")},
    CommandSpec{Command::Catalogue, "catalogue", "WHAT", false, kJson,
                "catalogue products|warehouses|units|branches|periods [--json] [--db NAME]",
                N_("Shows the codes a capture document names:\n"
                "  products    code, description, unit, lot or serial tracking\n"
                "  warehouses  per branch, with what each keeps apart (sizes, colours,\n"
                "              lots, serials) and whether it is a transit warehouse\n"
                "  units       code and description\n"
                "  branches    code, description and the distribution centre serving it\n"
                "  periods     the open operating periods: a document's date must fall in one\n"
                "\n"
                "  --json      the same as a JSON list\n")},
    CommandSpec{Command::Example, "example", "KIND", true, 0, "example [KIND]",
                N_("Prints an example capture document that works on the sample catalogue\n"
                "(init --sample); without KIND, lists the kinds. Save one, edit it, and\n"
                "give it to capture:\n"
                "  quelbarix example shipment > my.json\n"
                "  quelbarix capture my.json\n")},
    CommandSpec{Command::Demo, "demo", "", false, 0, "demo [--db NAME]",
                N_("Runs the whole transfer chain on a new database with the sample catalogue\n"
                "(a temporary file unless --db names one; on a server, an empty database)\n"
                "and in-transit movements on: a request from an order, a shipment with its\n"
                "transport document, two partial receptions, then cancelling them in turn.\n"
                "Each step is printed with the stock figures it changed and checked in the\n"
                "database; it exits 0 only when every step did what it should.\n"
                "\n"
                "The database is kept and its path printed; an existing path is refused.\n")},
};

const CommandSpec* FindCommand(std::string_view name) {
  auto it = std::find_if(kCommands.begin(), kCommands.end(),
                         [&](const CommandSpec& c) { return c.name == name; });
  return it == kCommands.end() ? nullptr : &*it;
}

const CommandSpec* FindCommand(Command command) {
  auto it = std::find_if(kCommands.begin(), kCommands.end(),
                         [&](const CommandSpec& c) { return c.command == command; });
  return it == kCommands.end() ? nullptr : &*it;
}

unsigned OptionBitOf(std::string_view option) {
  if (option == "--sample") return kSample;
  if (option == "--no-finalize") return kNoFinalize;
  if (option == "--json") return kJson;
  if (option == "--per-statement") return kPerStatement;
  if (option == "--force") return kForce;
  if (option == "--key" || option.starts_with("--key=")) return kKey;
  for (std::string_view filter : {"--type", "--state", "--branch", "--from", "--to"}) {
    if (option == filter) return kFilters;
  }
  return 0;
}

// The field a list filter option (--type X or --type=X) sets; null when the
// argument is none.
std::string* FilterOf(Invocation& inv, std::string_view arg) {
  const std::string_view name = arg.substr(0, arg.find('='));
  if (name == "--type") return &inv.type;
  if (name == "--state") return &inv.state;
  if (name == "--branch") return &inv.branch;
  if (name == "--from") return &inv.from;
  if (name == "--to") return &inv.to;
  return nullptr;
}

}  // namespace

Invocation ParseArguments(const std::vector<std::string>& args) {
  Invocation inv;
  const CommandSpec* def = nullptr;
  std::vector<std::string> operands;
  std::vector<std::string> specific;  // command options, checked once the command is known
  bool options_ended = false;

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool is_option = !options_ended && a.size() > 1 && a[0] == '-';
    if (!is_option) {
      if (!def) {
        def = FindCommand(a);
        if (!def) throw UsageError(Format(_("unknown command '{0}'"), {a}));
        inv.command = def->command;
      } else {
        operands.push_back(a);
      }
      continue;
    }
    if (a == "--") {
      options_ended = true;
    } else if (a == "--help" || a == "-h") {
      inv.help = true;
    } else if (a == "--version") {
      inv.version = true;
    } else if (a == "--trace") {
      inv.trace = true;
    } else if (a == "--db") {
      if (i + 1 >= args.size()) throw UsageError(_("option --db needs a path"));
      inv.db = args[++i];
    } else if (a.starts_with("--db=")) {
      inv.db = a.substr(5);
    } else if (a == "--key") {
      if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError(_("option --key needs a key"));
      inv.key = args[++i];
      specific.push_back(a);
    } else if (a.starts_with("--key=")) {
      if (a.size() == 6) throw UsageError(_("option --key needs a key"));
      inv.key = a.substr(6);
      specific.push_back("--key");
    } else if (std::string* value = FilterOf(inv, a)) {
      const std::string name = a.substr(0, a.find('='));
      if (a.find('=') != std::string::npos) {
        *value = a.substr(a.find('=') + 1);
      } else if (i + 1 < args.size()) {
        *value = args[++i];
      }
      if (value->empty()) throw UsageError(Format(_("option {0} needs a value"), {name}));
      specific.push_back(name);
    } else if (OptionBitOf(a) != 0) {
      specific.push_back(a);
    } else {
      throw UsageError(Format(_("unknown option '{0}'"), {a}));
    }
    if (inv.db && inv.db->empty()) throw UsageError(_("option --db needs a path"));
  }

  for (const std::string& option : specific) {
    if (!def) throw UsageError(Format(_("option '{0}' needs a command"), {option}));
    if ((def->options & OptionBitOf(option)) == 0)
      throw UsageError(Format(_("option '{0}' does not apply to '{1}'"), {option, def->name}));
    switch (OptionBitOf(option)) {
      case kSample:
        inv.sample = true;
        break;
      case kNoFinalize:
        inv.no_finalize = true;
        break;
      case kJson:
        inv.json = true;
        break;
      case kPerStatement:
        inv.per_statement = true;
        break;
      case kForce:
        inv.force = true;
        break;
    }
  }

  if (!def) {
    if (!inv.help && !inv.version) throw UsageError(_("no command given"));
    return inv;
  }
  // A key is recorded in the unit of work of what it guards; without one a
  // crash could leave the work stored and the key not.
  if (inv.key && inv.per_statement)
    throw UsageError(_("--key cannot be used with --per-statement"));
  if (def->operand.empty() && !operands.empty())
    throw UsageError(Format(_("unexpected argument '{0}' for '{1}'"), {operands.front(), def->name}));
  if (operands.size() > 1)
    throw UsageError(Format(_("unexpected argument '{0}' for '{1}'"), {operands[1], def->name}));
  if (!operands.empty()) {
    inv.operand = operands.front();
  } else if (!def->operand.empty() && !def->operand_optional && !inv.help) {
    throw UsageError(Format(_("'{0}' needs {1}"), {def->name, def->operand}));
  }
  if (inv.command == Command::Help && !inv.operand.empty() && !FindCommand(inv.operand))
    throw UsageError(Format(_("unknown command '{0}'"), {inv.operand}));
  return inv;
}

std::string ResolveDatabasePath(const std::optional<std::string>& option, const char* environment) {
  if (option) return *option;
  if (environment && *environment) return environment;
  return "quelbarix.db";
}

std::string_view CommandName(Command command) {
  const CommandSpec* def = FindCommand(command);
  return def ? def->name : "";
}

std::optional<Command> CommandByName(std::string_view name) {
  const CommandSpec* def = FindCommand(name);
  if (!def) return std::nullopt;
  return def->command;
}

namespace {

// The common options; the demo's rule is told wherever the demo may be meant.
std::string CommonOptions(bool with_demo) {
  std::string text = _(kDbOption);
  text += "              " + _(kDefaultDatabaseText) + "\n";
  if (with_demo) text += "              (" + _(kDemoDatabaseText) + ")\n";
  return text + _(kOtherCommonOptions);
}

}  // namespace

std::string HelpText(Command command) {
  const CommandSpec* def = FindCommand(command);
  if (!def || command == Command::Help) {
    std::string text = _(
        "Usage: quelbarix COMMAND [ARGS] [--db NAME] [--trace]\n"
        "       quelbarix --version\n"
        "\n"
        "Captures and manages inventory transfers through the Quelbarix component on\n"
        "the suite's embedded database.\n"
        "\n"
        "Commands:\n");
    for (const CommandSpec& c : kCommands) {
      text += "  " + std::string(c.usage) + "\n";
    }
    text += _("\nOptions of every command:\n") + CommonOptions(true) + _(
        "\n"
        "`quelbarix COMMAND --help` describes a command. Exit status: 0 done, 1 refused\n"
        "or failed (the component's message is printed), 2 wrong command line or\n"
        "document.\n");
    return text;
  }
  std::string options = CommonOptions(command == Command::Demo);
  if (def->options & kPerStatement) options += _(kWriteOptions);
  std::string help = _(def->help);
  // The sizes come from the suite's schema, as the check itself reads them.
  if (command == Command::Capture)
    help += _("\nThe most characters the suite keeps, by column (a field is held to the\n"
              "column of its name; in Sucursal_Recibe and Almacen_Recibe to the _Recibe one):\n") +
            TextLimitsHelp();
  return _("Usage: quelbarix ") + std::string(def->usage) + "\n\n" + help + _("\nOptions:\n") +
         options;
}

}  // namespace qbx::cli
