#include "transfer/publico.h"

#include <utility>

namespace qbx {

namespace {

// One apartment per thread: the state lives in thread-local storage and is
// released when the thread ends (or the apartment is reset).
thread_local Publico t_module;
thread_local bool t_started = false;

void StartUp() {
  // Built aside and installed only when every step succeeded, so a failure
  // releases whatever was created and leaves the apartment unstarted.
  Publico fresh;
  fresh.system = com::Create<ISystemServices>(kClsidSystemServices);
  fresh.data = com::Create<IDataServices>(kClsidDataServices);
  fresh.servidor_id = fresh.system->Obtener_Servidor_Id();
  fresh.en_transito =
      fresh.system->Obtener_Parametro("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", 0, "B", "1").ToBool();
  fresh.deposito_fiscal =
      fresh.system->Obtener_Parametro("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", 0, "T", "")
          .ToString();
  t_module = std::move(fresh);
  t_started = true;
}

}  // namespace

Publico& ModuleState() {
  if (!t_started) StartUp();
  return t_module;
}

bool ModuleStarted() {
  return t_started;
}

void ResetApartment() {
  t_started = false;
  // Moved out first: releasing a service may re-enter this thread's state.
  Publico old = std::move(t_module);
  t_module = Publico{};
}

}  // namespace qbx
