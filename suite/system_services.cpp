// SystemServices over the suite's database and configuration.
#include "services/system_services.h"

#include <memory>
#include <utility>

#include "suite/config.h"
#include "suite/connection.h"
#include "suite/database.h"
#include "suite/services.h"

namespace qbx::suite {
namespace {

class SystemServices final : public com::Object<SystemServices, ISystemServices> {
 public:
  explicit SystemServices(std::shared_ptr<Database> db)
      : com::Object<SystemServices, ISystemServices>(&SuiteModule()), db_(std::move(db)) {}

  com::ComPtr<IConnection> Obtener_Conexion() override { return MakeConnection(db_); }

  std::string Obtener_Usuario() override { return CurrentConfig().operator_code; }

  std::string Obtener_Servidor_Id() override { return CurrentConfig().server_id; }

  bool Es_Servidor_Sucursal() override { return CurrentConfig().IsBranchServer(); }

  // The stored value (or, for a parameter that does not exist, the default;
  // Null when the default is "") converted by kind: "B" a Boolean, "N" a
  // Double, anything else a String. An empty kind takes the stored one. An
  // empty logical or numeric value is Null. The Long argument is not used.
  Variant Obtener_Parametro(const std::string& name, int32_t, const std::string& kind,
                            const std::string& default_value) override {
    Query query(*db_,
                "SELECT Pa_Valor, Pa_Tipo FROM Parametro "
                "WHERE Pa_Cve_Parametro = ?1 AND Es_Cve_Estado <> 'BA'",
                {name});
    Variant value;
    std::string stored_kind;
    if (query.Step()) {
      value = query.Value(0);
      stored_kind = query.Text(1);
    } else if (default_value.empty()) {
      return Null{};
    } else {
      value = default_value;
    }
    if (value.IsNull()) return Null{};
    const std::string text = value.ToString();
    const std::string effective = UCase(kind.empty() ? stored_kind : kind);
    if (effective != "B" && effective != "N") return text;
    if (Trim(text).empty()) return Null{};
    try {
      if (effective == "B") return Variant(text).ToBool();
      return Variant(text).ToDouble();
    } catch (const RuntimeError&) {
      RaiseSuiteError("El parámetro " + name + " tiene un valor que no es " +
                      (effective == "B" ? "lógico" : "numérico") + ": " + text);
    }
  }

  // Writes "[title] text (source key)" to the message sink (standard error
  // by default) and answers 1, the OK button; never waits for anyone.
  Variant Mostrar_Mensaje(const Variant& text, int32_t, const Variant& title, const Variant&,
                          const Variant& source, const Variant& key) override {
    std::string line;
    std::string head = Describe(title);
    if (!head.empty()) line += "[" + head + "] ";
    line += Describe(text);
    std::string origin = Describe(source);
    std::string code = Describe(key);
    if (!code.empty()) origin += origin.empty() ? code : " " + code;
    if (!origin.empty()) line += " (" + origin + ")";
    WriteMessage(line);
    return static_cast<int32_t>(1);
  }

 private:
  static std::string Describe(const Variant& v) {
    if (v.IsMissing() || v.IsEmpty() || v.IsNull()) return "";
    return v.ToString();
  }

  std::shared_ptr<Database> db_;
};

}  // namespace

com::ComPtr<com::IUnknown> CreateSystemServices() {
  return SystemServices::Make(Database::ForThread()).As<com::IUnknown>();
}

}  // namespace qbx::suite
