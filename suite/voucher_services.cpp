// VoucherServices of the embedded suite: cancels the digital voucher of a
// document (table Comprobante_Digital). Voucher type 7 is the transport
// document (Cd_Tabla 'TRASLADO'); no other type is issued by the suite.
#include <string>

#include "automation/value.h"
#include "services/registration_services.h"
#include "suite/database.h"
#include "suite/services.h"

namespace qbx::suite {

namespace {

constexpr int32_t kVoucherTransport = 7;

class VoucherServices final : public com::Object<VoucherServices, IVoucherServices> {
 public:
  VoucherServices() : Object(&SuiteModule()), db_(Database::ForThread()) {}

  bool Cancelar_Comprobante(const std::string& database, int32_t type,
                            const std::string& folio) override {
    error_.clear();
    if (!database.empty() && UCase(database) != UCase(db_->name())) {
      return Fail("La base de datos: " + database +
                  ", no corresponde a la de la suite: " + db_->name());
    }
    if (type != kVoucherTransport) {
      return Fail("El tipo de comprobante: " + NumberText(type) + ", no está programado");
    }
    const int64_t changed =
        db_->Prepare(
               "UPDATE Comprobante_Digital SET Es_Cve_Estado = 'CA' "
               "WHERE Cd_Tabla = 'TRASLADO' AND Cd_Documento = ? AND Es_Cve_Estado <> 'CA'")
            .Bind({folio})
            .Run();
    if (changed == 0) {
      return Fail("No existe un comprobante digital vigente del traslado: " + folio);
    }
    return true;
  }

  std::string Obtener_Mensaje_Error() override { return error_; }

 private:
  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  std::shared_ptr<Database> db_;
  std::string error_;
};

}  // namespace

com::ComPtr<com::IUnknown> CreateVoucherServices() {
  return VoucherServices::Make();
}

}  // namespace qbx::suite
