// Registration round trip of libquelbarix.so in a fresh child process with a
// private registry: the program does not link the component; the child loads
// it as any client of the registry would.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

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

// Failures noted in the child (assertions do not reach the parent from there).
class ChildLog {
 public:
  void Check(bool ok, const std::string& what) {
    if (!ok) text += what + "\n";
  }
  template <class A, class B>
  void Equal(const A& actual, const B& expected, const std::string& what) {
    std::ostringstream s;
    if (!(actual == expected)) s << what << ": got " << actual << ", expected " << expected << "\n";
    text += s.str();
  }
  std::string text;
};

template <class F>
F Export(void* library, const char* name) {
  return reinterpret_cast<F>(::dlsym(library, name));
}

void RoundTrip(ChildLog& log) {
  TempRegistry registry;
  const std::string libid = iface::kTypeLibrary.id.ToString();
  // Entries of others, which unregistration must leave alone.
  log.Equal(com::RegistryWrite({{"TypeLib\\" + libid + "\\1.0", "", "an older version"},
                                {"Quelbarix.TransferenciaVieja\\CLSID", "", "{1}"}}),
            com::S_OK, "foreign entries");
  void* library = ::dlopen(QUELBARIX_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!library) return log.Check(false, std::string("dlopen: ") + ::dlerror());
  auto can_unload_now = Export<com::DllCanUnloadNowFn>(library, "DllCanUnloadNow");
  auto register_server = Export<com::DllRegisterServerFn>(library, "DllRegisterServer");
  auto unregister_server = Export<com::DllRegisterServerFn>(library, "DllUnregisterServer");
  if (!can_unload_now || !register_server || !unregister_server)
    return log.Check(false, "the exports");

  log.Equal(register_server(), com::S_OK, "DllRegisterServer");
  const std::string path = std::filesystem::canonical(QUELBARIX_COMPONENT_PATH).string();
  const std::string clsid = "CLSID\\{582CF778-1781-431F-8AD9-5BC9D2DE72D0}";
  const std::string typelib = "TypeLib\\{7CD6A207-77C9-424B-A39A-406417A975B7}\\2.3";
  const std::string iid = "Interface\\{7F04333F-03C2-4998-8E25-86EDCE85CDCB}";
  const com::RegistryValue entries[] = {
      {clsid, "", "Transferencia"},
      {clsid + "\\InprocServer32", "", path},
      {clsid + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {clsid + "\\ProgID", "", "Quelbarix.Transferencia"},
      {clsid + "\\TypeLib", "", libid},
      {clsid + "\\VERSION", "", "2.3"},
      {"Quelbarix.Transferencia", "", "Transferencia"},
      {"Quelbarix.Transferencia\\CLSID", "", clsid.substr(6)},
      {typelib, "", "Orvane - Transferencias"},
      {typelib + "\\409\\linux64", "", path},
      {typelib + "\\FLAGS", "", "0"},
      {typelib + "\\HELPDIR", "", std::filesystem::path(path).parent_path().string()},
      {iid, "", "_Transferencia"},
      {iid + "\\TypeLib", "", libid},
      {iid + "\\TypeLib", "Version", "2.3"},
  };
  for (const auto& e : entries)
    log.Equal(com::RegistryRead(e.key, e.name).value_or("(none)"), e.value, e.key + " " + e.name);

  // Created by ProgID and by class identifier text, and used.
  FakeSuite suite;
  suite.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", Variant("1"));
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", Variant(""));
  ScopedProvider provider(&suite);
  com::ComPtr<ITransferencia> object, second;
  log.Equal(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, object.put()),
            com::S_OK, "CreateByName");
  if (!object) return;
  bool show = false;
  std::string error = "not read";
  com::DISPID id = 0;
  log.Equal(object->put_MostrarMensajeError(&show), com::S_OK, "put_MostrarMensajeError");
  show = true;
  log.Equal(object->get_MostrarMensajeError(&show) == com::S_OK && !show, true, "reads False");
  log.Equal(object->get_Error(&error) == com::S_OK && error.empty(), true, "Error of a new object");
  log.Equal(object->GetIDsOfNames("mostrarmensajeerror", &id), com::S_OK, "GetIDsOfNames");
  log.Equal(id, iface::dispid::MostrarMensajeError, "dispatch identifier");
  log.Equal(suite.Created("System"), 1, "start-up created SystemServices");
  log.Equal(com::CreateByName(clsid.substr(6), ITransferencia::IID, second.put()), com::S_OK,
            "CreateByName by clsid");
  log.Equal(can_unload_now(), com::S_FALSE, "DllCanUnloadNow with objects alive");
  object.Reset();
  second.Reset();
  log.Equal(can_unload_now(), com::S_OK, "DllCanUnloadNow after release");

  // Start-up failing inside the loaded library reaches this creator (a new
  // thread is a new apartment, which starts afresh).
  std::thread([&] {
    FakeSuite failing;
    failing.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", Variant(Null{}));
    ScopedProvider scoped(&failing);
    com::ComPtr<ITransferencia> none;
    log.Equal(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, none.put()),
              com::FromErrorNumber(94), "creation with a Null parameter");
    com::ErrorInfo info = com::TakeErrorInfo();
    log.Equal(std::to_string(info.number) + " " + info.description + " [" + info.source + "]",
              std::string("94 Invalid use of Null [Quelbarix]"), "error information");
    log.Equal(failing.Alive("System"), 0, "services released");
  }).join();
  log.Equal(can_unload_now(), com::S_OK, "nothing left alive");

  log.Equal(unregister_server(), com::S_OK, "DllUnregisterServer");
  for (const auto& e : entries)
    log.Check(!com::RegistryRead(e.key, e.name).has_value(), "left: " + e.key + " " + e.name);
  log.Equal(com::RegistryRead("TypeLib\\" + libid + "\\1.0").value_or("(none)"),
            std::string("an older version"), "older type library version");
  log.Check(com::RegistryRead("Quelbarix.TransferenciaVieja\\CLSID").has_value(), "foreign ProgID");
  log.Equal(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, object.put()),
            com::CO_E_CLASSSTRING, "by ProgID after unregistering");
  log.Equal(com::CreateByName(clsid.substr(6), ITransferencia::IID, object.put()),
            com::REGDB_E_CLASSNOTREG, "by clsid after unregistering");
  log.Equal(unregister_server(), com::S_OK, "unregistering twice");
  ::setenv("QUELBARIX_REGISTRY", "/proc/qbx-no-such-folder/registry", 1);
  log.Equal(register_server(), com::SELFREG_E_CLASS, "unwritable registry");
}

TEST(Registration, RoundTripInAChildProcess) {
  EXPECT_EXIT(
      {
        ChildLog log;
        try {
          RoundTrip(log);
        } catch (const std::exception& e) {
          log.Check(false, std::string("exception: ") + e.what());
        }
        std::fputs(log.text.c_str(), stderr);
        std::_Exit(log.text.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qbx::test
