// Module Publico: the per-apartment (per-thread) state of the component.
//
// Start-up runs on the first use in a thread, in this order: create
// SystemServices, create DataServices, Obtener_Servidor_Id, then the
// parameters MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO (Boolean) and
// MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL (String). A failure raises to the
// caller and leaves the apartment unstarted, so the next use tries again.
// Two objects on one thread share the state; two threads never do.
#pragma once

#include <string>

#include "automation/com.h"
#include "automation/export.h"
#include "services/system_services.h"

namespace qbx {

struct Publico {
  // Where operations build their statements; carries nothing between them.
  std::string scratch;
  com::ComPtr<ISystemServices> system;
  com::ComPtr<IDataServices> data;
  bool en_transito = false;        // MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO
  std::string deposito_fiscal;     // MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL
  std::string servidor_id;         // Obtener_Servidor_Id
};

// The calling thread's module state, started if it was not. Raises the
// start-up failure (qbx::RuntimeError).
Publico& ModuleState();
// True when the calling thread's module state has been started.
bool ModuleStarted();
// Ends the calling thread's apartment: releases its services and settings, so
// the next use starts afresh (what a test needs between cases). The thread's
// objects must be released first: they use the state they started with.
QBX_EXPORT void ResetApartment();

}  // namespace qbx
