// The generic half of an in-process server library: its class table, class
// factories, object count, registration, and the four exports built on them.
//
// A library declares one InprocServer over a table of its classes and
// forwards its exports to it (QBX_INPROC_SERVER_EXPORTS does exactly that):
//
//   constexpr com::ServerClass kClasses[] = {
//       {kClsidFoo, "Foo", "Suite.Foo", &com::CreateObject<FooObject>}};
//   constinit com::InprocServer g_server(kClasses, "Suite");
//   QBX_INPROC_SERVER_EXPORTS(g_server)
//
// Registry entries written for each class (values are "@" = default):
//   CLSID\{clsid}                     @ = class name
//   CLSID\{clsid}\InprocServer32      @ = library path, ThreadingModel = Apartment
//   CLSID\{clsid}\ProgID              @ = ProgID             (when it has one)
//   CLSID\{clsid}\TypeLib             @ = {libid}            (with a type library)
//   CLSID\{clsid}\VERSION             @ = major.minor        (with a type library)
//   {ProgID}                          @ = class name         (when it has one)
//   {ProgID}\CLSID                    @ = {clsid}            (when it has one)
// and, when the library describes a type library:
//   TypeLib\{libid}\{major.minor}                 @ = help string
//   TypeLib\{libid}\{major.minor}\{lcid}\linux64  @ = library path (lcid in hex: 409)
//   TypeLib\{libid}\{major.minor}\FLAGS           @ = 0
//   TypeLib\{libid}\{major.minor}\HELPDIR         @ = folder of the library
//   Interface\{iid}                   @ = interface name
//   Interface\{iid}\TypeLib           @ = {libid}, Version = major.minor
// Unregistration removes exactly the keys CLSID\{clsid}, {ProgID},
// TypeLib\{libid}\{major.minor} and Interface\{iid}, each with its subkeys.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/com.h"
#include "automation/registry.h"

namespace qbx::com {

// Makes a new object of a class counted in the library's module count and
// asks it for iid. May throw (qbx::RuntimeError or anything else); the class
// factory turns that into a status and the thread's error information.
using ClassCreator = HRESULT (*)(ModuleCount* count, const Guid& iid, void** out);

// The creator of a class implemented as Object<T, ...> whose constructor
// takes the module count.
template <class T>
HRESULT CreateObject(ModuleCount* count, const Guid& iid, void** out) {
  ComPtr<T> object = T::Make(count);
  return object->QueryInterface(iid, out);
}

struct ServerClass {
  Guid clsid;
  std::string_view name;     // default value of CLSID\{clsid}
  std::string_view prog_id;  // "" when the class has none
  ClassCreator create;
};

struct ServerInterface {
  Guid iid;
  std::string_view name;
};

struct ServerTypeLibrary {
  Guid id;
  int major = 0;
  int minor = 0;
  int lcid = 0;
  std::string_view help;
  std::span<const ServerInterface> interfaces;
};

class InprocServer {
 public:
  // error_source: the source given to a run-time error raised without one
  // while an object is created. The tables must outlive the server.
  constexpr InprocServer(std::span<const ServerClass> classes, std::string_view error_source,
                         const ServerTypeLibrary* type_library = nullptr)
      : classes_(classes), error_source_(error_source), type_library_(type_library) {}
  InprocServer(const InprocServer&) = delete;
  InprocServer& operator=(const InprocServer&) = delete;

  // Live objects and locks of the library; every object it serves counts here.
  ModuleCount& Count() { return count_; }
  std::string_view ErrorSource() const { return error_source_; }

  // DllGetClassObject: a class factory of a class in the table;
  // CLASS_E_CLASSNOTAVAILABLE for any other class identifier.
  HRESULT GetClassObject(const Guid* clsid, const Guid* iid, void** out) noexcept;
  // DllCanUnloadNow: S_FALSE while objects or locks live, else S_OK.
  HRESULT CanUnloadNow() const noexcept;
  // DllRegisterServer / DllUnregisterServer: SELFREG_E_CLASS when the registry
  // cannot be written.
  HRESULT Register() noexcept;
  HRESULT Unregister() noexcept;

  // What Register writes (with the library's path) and the keys Unregister
  // removes.
  std::vector<RegistryValue> RegistrationEntries(const std::string& library_path) const;
  std::vector<std::string> RegistrationKeys() const;
  // Path of the library this server object lives in.
  std::string LibraryPath() const;

 private:
  std::span<const ServerClass> classes_;
  std::string_view error_source_;
  const ServerTypeLibrary* type_library_;
  ModuleCount count_;
};

// Error reporting across an interface boundary. Inside a catch block: sets
// the thread's error information from the exception being handled (its
// source, or default_source when it has none) and returns the status that
// carries its number.
HRESULT ReportCurrentException(std::string_view default_source) noexcept;
// The status that carries a run-time error number: FromErrorNumber for the
// platform's numbers, the number itself when it is already a failing status.
HRESULT StatusOfErrorNumber(int32_t number) noexcept;
// Client side: raises a failing status as the run-time error it carries (the
// thread's error information when set, else the error the status stands for).
[[noreturn]] void RaiseFailure(HRESULT hr);
inline void CheckStatus(HRESULT hr) {
  if (Failed(hr)) RaiseFailure(hr);
}

}  // namespace qbx::com

// Defines the four exports of the library over an InprocServer object.
#define QBX_INPROC_SERVER_EXPORTS(server)                                                     \
  extern "C" __attribute__((visibility("default"))) qbx::com::HRESULT DllGetClassObject(      \
      const qbx::Guid* clsid, const qbx::Guid* iid, void** out) {                             \
    return (server).GetClassObject(clsid, iid, out);                                          \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) qbx::com::HRESULT DllCanUnloadNow() {     \
    return (server).CanUnloadNow();                                                           \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) qbx::com::HRESULT DllRegisterServer() {   \
    return (server).Register();                                                               \
  }                                                                                           \
  extern "C" __attribute__((visibility("default"))) qbx::com::HRESULT DllUnregisterServer() { \
    return (server).Unregister();                                                             \
  }
