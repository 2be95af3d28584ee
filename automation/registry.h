// The registry: a text file of keys and named values, shared by every library
// that registers classes and every client that creates them by name.
//
// File: $QUELBARIX_REGISTRY, else $XDG_CONFIG_HOME/quelbarix/registry, else
// ~/.config/quelbarix/registry. Writers take an exclusive lock on the file
// and replace it atomically, so parallel registrations never lose entries.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/com.h"

namespace qbx::com {

struct RegistryValue {
  std::string key;    // e.g. "CLSID\\{582C...}\\InprocServer32"
  std::string name;   // "" is the key's default value
  std::string value;
};

std::string RegistryPath();

// Adds or replaces the values, all or none. SELFREG_E_CLASS when the file
// cannot be written; E_INVALIDARG for an entry that would not read back (an
// empty key, a line break, a name holding "=" or equal to "@").
HRESULT RegistryWrite(const std::vector<RegistryValue>& values);
// Removes the keys and every key below them.
HRESULT RegistryRemove(const std::vector<std::string>& keys);
std::optional<std::string> RegistryRead(std::string_view key, std::string_view name = "");

// The class identifier registered for a ProgID; CO_E_CLASSSTRING when none.
HRESULT ClsidFromProgId(std::string_view prog_id, Guid* clsid);
// Creates through the registry: loads the class's library (InprocServer32)
// and asks its DllGetClassObject for a class factory.
HRESULT CreateFromRegistry(const Guid& clsid, const Guid& iid, void** out);
// By ProgID or, when the text is a class identifier, by that.
HRESULT CreateByName(std::string_view prog_id_or_clsid, const Guid& iid, void** out);

// Path of the shared library (or executable) that holds the address.
std::string ModulePath(const void* address);

// The four exports every in-process server library provides.
using DllGetClassObjectFn = HRESULT (*)(const Guid* clsid, const Guid* iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();

}  // namespace qbx::com
