// Factories of the suite's service classes, one per class identifier of
// services/*.h. Each returns a new object with one reference (the caller
// adopts it) over the calling thread's database (Database::ForThread()).
#pragma once

#include "automation/com.h"

namespace qbx::suite {

// Objects alive in this library, for DllCanUnloadNow.
com::ModuleCount& SuiteModule();

com::ComPtr<com::IUnknown> CreateSystemServices();     // system_services.cpp
com::ComPtr<com::IUnknown> CreateDataServices();       // data_services.cpp
com::ComPtr<com::IUnknown> CreateInventoryServices();  // inventory_services.cpp
com::ComPtr<com::IUnknown> CreateSeriesServices();     // series_services.cpp
com::ComPtr<com::IUnknown> CreateLotServices();        // lot_services.cpp
com::ComPtr<com::IUnknown> CreatePostingServices();    // posting_services.cpp
com::ComPtr<com::IUnknown> CreateVoucherServices();    // voucher_services.cpp

// Creates the suite's classes directly, without the registry: for hosts that
// link the suite library (the tool installs it as the process provider).
com::ObjectProvider& LinkedProvider();

}  // namespace qbx::suite
