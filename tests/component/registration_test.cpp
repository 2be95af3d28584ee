// Registration round trip of libquelbarix.so with a private registry: the
// program does not link the component; it loads it as any client of the
// registry would (its only case, so its process is fresh).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "automation/registry.h"
#include "records/interface.h"
#include "records/itransferencia.h"
#include "tests/component/support.h"
#include "tests/doubles/doubles.h"

namespace qbx::test {
namespace {

TEST(Registration, RoundTrip) {
  TempRegistry registry;
  const std::string libid = iface::kTypeLibrary.id.ToString();
  // Entries of others, which unregistration must leave alone.
  ASSERT_EQ(com::RegistryWrite({{"TypeLib\\" + libid + "\\1.0", "", "an older version"},
                                {"Quelbarix.TransferenciaVieja\\CLSID", "", "{1}"}}),
            com::S_OK);
  void* library = ::dlopen(QUELBARIX_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  auto can_unload_now =
      reinterpret_cast<com::DllCanUnloadNowFn>(::dlsym(library, "DllCanUnloadNow"));
  auto reg = reinterpret_cast<com::DllRegisterServerFn>(::dlsym(library, "DllRegisterServer"));
  auto unreg = reinterpret_cast<com::DllRegisterServerFn>(::dlsym(library, "DllUnregisterServer"));
  ASSERT_TRUE(can_unload_now && reg && unreg);

  ASSERT_EQ(reg(), com::S_OK);
  const std::string path = std::filesystem::canonical(QUELBARIX_COMPONENT_PATH).string();
  const std::string clsid = "CLSID\\{582CF778-1781-431F-8AD9-5BC9D2DE72D0}";
  const std::string typelib = "TypeLib\\{7CD6A207-77C9-424B-A39A-406417A975B7}\\2.3";
  const std::string iid = "Interface\\{7F04333F-03C2-4998-8E25-86EDCE85CDCB}";
  // clang-format off
  const com::RegistryValue entries[] = {
      {clsid, "", "Transferencia"}, {clsid + "\\InprocServer32", "", path},
      {clsid + "\\InprocServer32", "ThreadingModel", "Apartment"}, {clsid + "\\TypeLib", "", libid},
      {clsid + "\\ProgID", "", "Quelbarix.Transferencia"}, {clsid + "\\VERSION", "", "2.3"},
      {"Quelbarix.Transferencia", "", "Transferencia"},
      {"Quelbarix.Transferencia\\CLSID", "", clsid.substr(6)},
      {typelib, "", "Orvane - Transferencias"}, {typelib + "\\409\\linux64", "", path},
      {typelib + "\\FLAGS", "", "0"}, {iid + "\\TypeLib", "Version", "2.3"},
      {typelib + "\\HELPDIR", "", std::filesystem::path(path).parent_path().string()},
      {iid, "", "_Transferencia"}, {iid + "\\TypeLib", "", libid}};
  // clang-format on
  for (const auto& e : entries)
    EXPECT_EQ(com::RegistryRead(e.key, e.name).value_or("(none)"), e.value)
        << e.key << " " << e.name;

  // Created by ProgID and by class identifier text, and used.
  FakeSuite suite;
  suite.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", Variant("1"));
  suite.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", Variant(""));
  ScopedProvider provider(&suite);
  com::ComPtr<ITransferencia> object, second;
  ASSERT_EQ(com::CreateByName("quelbarix.TRANSFERENCIA", ITransferencia::IID, object.put()),
            com::S_OK);  // a ProgID in any case
  std::string error = "not read";
  EXPECT_TRUE(object->get_Error(&error) == com::S_OK && error.empty());
  EXPECT_EQ(suite.Created("System"), 1);
  EXPECT_EQ(com::CreateByName(clsid.substr(6), ITransferencia::IID, second.put()), com::S_OK);
  EXPECT_EQ(can_unload_now(), com::S_FALSE);
  object.Reset();
  second.Reset();
  EXPECT_EQ(can_unload_now(), com::S_OK);

  // A start-up failing inside the library reaches this creator (a new thread
  // is a new apartment, which starts afresh), keeps nothing it created and
  // leaves the apartment unstarted: the next creation starts it again.
  std::thread([&] {
    FakeSuite failing;  // its fiscal deposit parameter unset: Null
    ScopedProvider scoped(&failing);
    com::ComPtr<ITransferencia> none;
    EXPECT_EQ(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, none.put()),
              com::FromErrorNumber(94));
    EXPECT_EQ(Taken(), "94 Invalid use of Null [Quelbarix]");
    EXPECT_EQ(failing.Alive("System") + failing.Alive("Data") + failing.Created("Inventory"), 0);
    failing.Parameter("MOV_TRANSFERENCIA_SUCURSAL_DEPOSITO_FISCAL", Variant(""));
    EXPECT_EQ(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, none.put()),
              com::S_OK);
    EXPECT_EQ(failing.Created("System"), 2);
  }).join();
  EXPECT_EQ(can_unload_now(), com::S_OK);

  EXPECT_EQ(unreg(), com::S_OK);
  for (const auto& e : entries) EXPECT_FALSE(com::RegistryRead(e.key, e.name)) << e.key;
  EXPECT_EQ(com::RegistryRead("TypeLib\\" + libid + "\\1.0"), "an older version");
  EXPECT_TRUE(com::RegistryRead("Quelbarix.TransferenciaVieja\\CLSID"));
  EXPECT_EQ(com::CreateByName("Quelbarix.Transferencia", ITransferencia::IID, object.put()),
            com::CO_E_CLASSSTRING);
  EXPECT_EQ(unreg(), com::S_OK);  // twice
  ::setenv("QUELBARIX_REGISTRY", "/proc/qbx-no-such-folder/registry", 1);
  EXPECT_EQ(std::pair(reg(), unreg()), std::pair(com::SELFREG_E_CLASS, com::SELFREG_E_CLASS));
}

}  // namespace
}  // namespace qbx::test
