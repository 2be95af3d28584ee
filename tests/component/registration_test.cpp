// Registration round trips of libquelbarix.so, each in a fresh child process
// with a private registry: the program does not link the component; the
// child loads it as any client of the registry would.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "automation/registry.h"
#include "records/interface.h"
#include "records/itransferencia.h"
#include "tests/component/support.h"
#include "tests/doubles/doubles.h"

#ifndef QUELBARIX_COMPONENT_PATH
#error "QUELBARIX_COMPONENT_PATH names the built libquelbarix.so"
#endif

namespace qbx::test {
namespace {

using com::HRESULT;

struct Exports {
  com::DllGetClassObjectFn get_class_object = nullptr;
  com::DllCanUnloadNowFn can_unload_now = nullptr;
  com::DllRegisterServerFn register_server = nullptr;
  com::DllRegisterServerFn unregister_server = nullptr;
};

Exports Load(ChildLog& log) {
  Exports e;
  void* library = ::dlopen(QUELBARIX_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
  log.Check(library != nullptr, std::string("dlopen: ") + (library ? "" : ::dlerror()));
  if (!library) return e;
  e.get_class_object =
      reinterpret_cast<com::DllGetClassObjectFn>(::dlsym(library, "DllGetClassObject"));
  e.can_unload_now = reinterpret_cast<com::DllCanUnloadNowFn>(::dlsym(library, "DllCanUnloadNow"));
  e.register_server =
      reinterpret_cast<com::DllRegisterServerFn>(::dlsym(library, "DllRegisterServer"));
  e.unregister_server =
      reinterpret_cast<com::DllRegisterServerFn>(::dlsym(library, "DllUnregisterServer"));
  log.Check(e.get_class_object && e.can_unload_now && e.register_server && e.unregister_server,
            "the four exports");
  return e;
}

// Start-up parameters every child's doubles answer.
void Configure(FakeSuite& suite) {
  suite.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", Variant("1"));
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", Variant(""));
}

struct Entry {
  std::string key, name, value;
};

std::vector<Entry> ExpectedEntries(const std::string& library) {
  const std::string clsid = "{582CF778-1781-431F-8AD9-5BC9D2DE72D0}";
  const std::string libid = "{7CD6A207-77C9-424B-A39A-406417A975B7}";
  const std::string iid = "{7F04333F-03C2-4998-8E25-86EDCE85CDCB}";
  const std::string folder = std::filesystem::path(library).parent_path().string();
  return {
      {"CLSID\\" + clsid, "", "Transferencia"},
      {"CLSID\\" + clsid + "\\InprocServer32", "", library},
      {"CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {"CLSID\\" + clsid + "\\ProgID", "", "Quelbarix.Transferencia"},
      {"CLSID\\" + clsid + "\\TypeLib", "", libid},
      {"CLSID\\" + clsid + "\\VERSION", "", "2.3"},
      {"Quelbarix.Transferencia", "", "Transferencia"},
      {"Quelbarix.Transferencia\\CLSID", "", clsid},
      {"TypeLib\\" + libid + "\\2.3", "", "Orvane - Transferencias"},
      {"TypeLib\\" + libid + "\\2.3\\409\\linux64", "", library},
      {"TypeLib\\" + libid + "\\2.3\\FLAGS", "", "0"},
      {"TypeLib\\" + libid + "\\2.3\\HELPDIR", "", folder},
      {"Interface\\" + iid, "", "_Transferencia"},
      {"Interface\\" + iid + "\\TypeLib", "", libid},
      {"Interface\\" + iid + "\\TypeLib", "Version", "2.3"},
  };
}

TEST(Registration, RoundTripInAChildProcess) {
  std::string failures = RunInChild([](ChildLog& log) {
    TempRegistry registry;
    // Entries of others, which unregistration must leave alone.
    const std::string libid = iface::kTypeLibrary.id.ToString();
    log.Equal(com::RegistryWrite({{"TypeLib\\" + libid + "\\1.0", "", "an older version"},
                                  {"Quelbarix.TransferenciaVieja\\CLSID", "",
                                   "{11111111-2222-3333-4444-555555555555}"}}),
              com::S_OK, "foreign entries");

    Exports dll = Load(log);
    if (!dll.register_server) return;
    log.Equal(dll.register_server(), com::S_OK, "DllRegisterServer");
    const std::string library = std::filesystem::canonical(QUELBARIX_COMPONENT_PATH).string();
    const std::vector<Entry> entries = ExpectedEntries(library);
    for (const Entry& e : entries)
      log.Equal(com::RegistryRead(e.key, e.name).value_or("(none)"), e.value,
                "registered " + e.key + " " + e.name);

    // Create by ProgID and use the object.
    FakeSuite suite;
    Configure(suite);
    ScopedProvider provider(&suite);
    com::ComPtr<ITransferencia> object;
    log.Equal(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, object.put()),
              com::S_OK, "CreateByName");
    if (!object) return;
    bool show = false;
    log.Equal(object->put_MostrarMensajeError(&show), com::S_OK, "put_MostrarMensajeError");
    show = true;
    log.Equal(object->get_MostrarMensajeError(&show), com::S_OK, "get_MostrarMensajeError");
    log.Check(!show, "MostrarMensajeError reads back False");
    std::string error = "not read";
    log.Equal(object->get_Error(&error), com::S_OK, "get_Error");
    log.Equal(error, std::string(), "Error of a new object");
    com::DISPID id = 0;
    log.Equal(object->GetIDsOfNames("mostrarmensajeerror", &id), com::S_OK, "GetIDsOfNames");
    log.Equal(id, iface::dispid::MostrarMensajeError, "dispatch identifier");
    log.Equal(suite.Created("System"), 1, "start-up created SystemServices");

    // Also by class identifier text.
    com::ComPtr<ITransferencia> second;
    log.Equal(
        com::CreateByName(iface::kClsidTransferencia.ToString(), ITransferencia::IID, second.put()),
        com::S_OK, "CreateByName by clsid");
    log.Equal(dll.can_unload_now(), com::S_FALSE, "DllCanUnloadNow with objects alive");
    object.Reset();
    second.Reset();
    log.Equal(dll.can_unload_now(), com::S_OK, "DllCanUnloadNow after release");

    log.Equal(dll.unregister_server(), com::S_OK, "DllUnregisterServer");
    for (const Entry& e : entries)
      log.Check(!com::RegistryRead(e.key, e.name).has_value(),
                "left behind: " + e.key + " " + e.name);
    log.Equal(com::RegistryRead("TypeLib\\" + libid + "\\1.0").value_or("(none)"),
              std::string("an older version"), "older type library version");
    log.Check(com::RegistryRead("Quelbarix.TransferenciaVieja\\CLSID").has_value(),
              "foreign ProgID");

    log.Equal(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, object.put()),
              com::CO_E_CLASSSTRING, "by ProgID after unregistering");
    log.Equal(
        com::CreateByName(iface::kClsidTransferencia.ToString(), ITransferencia::IID, object.put()),
        com::REGDB_E_CLASSNOTREG, "by clsid after unregistering");
    log.Equal(dll.unregister_server(), com::S_OK, "unregistering twice");
  });
  EXPECT_EQ(failures, "");
}

TEST(Registration, ClassObjectsAndFailuresThroughTheRegistry) {
  std::string failures = RunInChild([](ChildLog& log) {
    TempRegistry registry;
    Exports dll = Load(log);
    if (!dll.register_server) return;
    log.Equal(dll.register_server(), com::S_OK, "DllRegisterServer");

    // A class the library does not serve, registered against it.
    const Guid stranger = MakeGuid("{D4000000-0000-4000-8000-000000000001}");
    log.Equal(com::RegistryWrite({{"CLSID\\" + stranger.ToString() + "\\InprocServer32", "",
                                   QUELBARIX_COMPONENT_PATH}}),
              com::S_OK, "stranger registered");
    com::ComPtr<com::IUnknown> none;
    log.Equal(com::CreateFromRegistry(stranger, com::IUnknown::IID, none.put()),
              com::CLASS_E_CLASSNOTAVAILABLE, "class not served");
    void* out = reinterpret_cast<void*>(1);
    log.Equal(dll.get_class_object(&stranger, &com::IClassFactory::IID, &out),
              com::CLASS_E_CLASSNOTAVAILABLE, "DllGetClassObject of another class");
    log.Check(out == nullptr, "no class object handed out");

    // Start-up failing inside the loaded library reaches this creator.
    FakeSuite suite;
    Configure(suite);
    suite.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", Variant(Null{}));
    ScopedProvider provider(&suite);
    com::ComPtr<ITransferencia> object;
    log.Equal(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, object.put()),
              com::FromErrorNumber(94), "creation with a Null parameter");
    com::ErrorInfo info = com::TakeErrorInfo();
    log.Equal(info.number, 94, "error number");
    log.Equal(info.description, std::string("Invalid use of Null"), "error description");
    log.Equal(info.source, std::string("Quelbarix"), "error source");
    log.Equal(suite.Alive("System"), 0, "services released");
    log.Equal(dll.can_unload_now(), com::S_OK, "nothing left alive");

    // A registry that cannot be written.
    ::setenv("QUELBARIX_REGISTRY", "/proc/qbx-no-such-folder/registry", 1);
    log.Equal(dll.register_server(), com::SELFREG_E_CLASS, "unwritable registry");
  });
  EXPECT_EQ(failures, "");
}

}  // namespace
}  // namespace qbx::test
