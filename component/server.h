// The component's in-process server: class Transferencia served through its
// class factory, registration under ProgID Quelbarix.Transferencia with its
// type library, and the four exports (DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer, DllUnregisterServer) that forward to it.
#pragma once

#include "automation/server_frame.h"

namespace qbx::component {

// The server object behind the exports. A program that links the component
// reaches the class factory here without the registry (and without the
// exported names, which every server library shares).
com::InprocServer& Server();

}  // namespace qbx::component
