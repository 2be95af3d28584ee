#include "automation/server_frame.h"

#include <cstdio>
#include <filesystem>
#include <new>

#include "automation/value.h"

namespace qbx::com {

namespace {

class ClassFactory final : public Object<ClassFactory, IClassFactory> {
 public:
  ClassFactory(InprocServer& server, const ServerClass& cls)
      : Object(&server.Count()), server_(server), class_(cls) {}

  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    SetErrorInfo(ErrorInfo{});
    try {
      return class_.create(&server_.Count(), iid, out);
    } catch (...) {
      return ReportCurrentException(server_.ErrorSource());
    }
  }

  HRESULT LockServer(bool lock) noexcept override {
    if (lock) {
      server_.Count().Increment();
    } else {
      server_.Count().Decrement();
    }
    return S_OK;
  }

 private:
  InprocServer& server_;
  const ServerClass& class_;
};

std::string Version(const ServerTypeLibrary& lib) {
  return std::to_string(lib.major) + "." + std::to_string(lib.minor);
}

std::string TypeLibraryKey(const ServerTypeLibrary& lib) {
  return "TypeLib\\" + lib.id.ToString() + "\\" + Version(lib);
}

std::string Hex(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(n));
  return text;
}

}  // namespace

HRESULT InprocServer::GetClassObject(const Guid* clsid, const Guid* iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!clsid || !iid) return E_INVALIDARG;
  try {
    for (const ServerClass& cls : classes_) {
      if (cls.clsid == *clsid) return ClassFactory::Make(*this, cls)->QueryInterface(*iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT InprocServer::CanUnloadNow() const noexcept {
  return count_.Value() == 0 ? S_OK : S_FALSE;
}

std::string InprocServer::LibraryPath() const {
  return ModulePath(this);
}

std::vector<RegistryValue> InprocServer::RegistrationEntries(
    const std::string& library_path) const {
  std::vector<RegistryValue> out;
  for (const ServerClass& cls : classes_) {
    const std::string key = "CLSID\\" + cls.clsid.ToString();
    out.push_back({key, "", std::string(cls.name)});
    out.push_back({key + "\\InprocServer32", "", library_path});
    out.push_back({key + "\\InprocServer32", "ThreadingModel", "Apartment"});
    if (!cls.prog_id.empty()) {
      const std::string prog_id(cls.prog_id);
      out.push_back({key + "\\ProgID", "", prog_id});
      out.push_back({prog_id, "", std::string(cls.name)});
      out.push_back({prog_id + "\\CLSID", "", cls.clsid.ToString()});
    }
    if (type_library_) {
      out.push_back({key + "\\TypeLib", "", type_library_->id.ToString()});
      out.push_back({key + "\\VERSION", "", Version(*type_library_)});
    }
  }
  if (type_library_) {
    const ServerTypeLibrary& lib = *type_library_;
    const std::string key = TypeLibraryKey(lib);
    out.push_back({key, "", std::string(lib.help)});
    out.push_back({key + "\\" + Hex(lib.lcid) + "\\linux64", "", library_path});
    out.push_back({key + "\\FLAGS", "", "0"});
    out.push_back(
        {key + "\\HELPDIR", "", std::filesystem::path(library_path).parent_path().string()});
    for (const ServerInterface& itf : lib.interfaces) {
      const std::string ikey = "Interface\\" + itf.iid.ToString();
      out.push_back({ikey, "", std::string(itf.name)});
      out.push_back({ikey + "\\TypeLib", "", lib.id.ToString()});
      out.push_back({ikey + "\\TypeLib", "Version", Version(lib)});
    }
  }
  return out;
}

std::vector<std::string> InprocServer::RegistrationKeys() const {
  std::vector<std::string> keys;
  for (const ServerClass& cls : classes_) {
    keys.push_back("CLSID\\" + cls.clsid.ToString());
    if (!cls.prog_id.empty()) keys.emplace_back(cls.prog_id);
  }
  if (type_library_) {
    keys.push_back(TypeLibraryKey(*type_library_));
    for (const ServerInterface& itf : type_library_->interfaces)
      keys.push_back("Interface\\" + itf.iid.ToString());
  }
  return keys;
}

HRESULT InprocServer::Register() noexcept {
  try {
    const std::string path = LibraryPath();
    if (path.empty()) return SELFREG_E_CLASS;
    HRESULT hr = RegistryWrite(RegistrationEntries(path));
    return Failed(hr) && hr != E_OUTOFMEMORY ? SELFREG_E_CLASS : hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT InprocServer::Unregister() noexcept {
  try {
    HRESULT hr = RegistryRemove(RegistrationKeys());
    return Failed(hr) && hr != E_OUTOFMEMORY ? SELFREG_E_CLASS : hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT StatusOfErrorNumber(int32_t number) noexcept {
  if (number < 0) return number;
  if (number == 0 || number > 0xFFFF) return E_FAIL;
  return FromErrorNumber(number);
}

HRESULT ReportCurrentException(std::string_view default_source) noexcept {
  try {
    RuntimeError e = CurrentRuntimeError();
    SetErrorInfo(ErrorInfo{e.number(), e.description(),
                           e.source().empty() ? std::string(default_source) : e.source()});
    return StatusOfErrorNumber(e.number());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

void RaiseFailure(HRESULT hr) {
  ErrorInfo info = TakeErrorInfo();
  if (info.number != 0) throw RuntimeError(info.number, info.description, info.source);
  const auto code = static_cast<uint32_t>(hr);
  if ((code & 0xFFFF0000u) == 0x800A0000u) Raise(static_cast<int32_t>(code & 0xFFFFu));
  switch (hr) {
    case E_OUTOFMEMORY:
      Raise(kErrOutOfMemory);
    case E_POINTER:
    case E_INVALIDARG:
      Raise(kErrInvalidCall);
    case DISP_E_TYPEMISMATCH:
      Raise(kErrTypeMismatch);
    case DISP_E_BADPARAMCOUNT:
      Raise(450, "Wrong number of arguments or invalid property assignment");
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      Raise(438, "Object doesn't support this property or method");
    case E_NOINTERFACE:
      Raise(430, "Class does not support Automation or does not support expected interface");
    case REGDB_E_CLASSNOTREG:
    case CO_E_CLASSSTRING:
    case CLASS_E_CLASSNOTAVAILABLE:
    case CO_E_DLLNOTFOUND:
      Raise(kErrCannotCreateObject);
    default:
      Raise(hr, "Automation error");
  }
}

}  // namespace qbx::com
