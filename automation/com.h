// A minimal COM-style binary interface: status codes, reference-counted
// interfaces, smart pointers, class factories, per-thread error information
// and object creation by class identifier.
//
// Interfaces here are abstract C++ classes that share one compiler and one
// standard library on both sides of a library boundary; methods other than
// those of IUnknown/IClassFactory may throw qbx::RuntimeError to report an
// automation error. Nothing thrown crosses the exported Dll* entry points.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "automation/guid.h"

namespace qbx::com {

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x8004018Fu);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }
// The status that carries a run-time error number (the platform's
// CTL_E range: 0x800A0000 | number).
constexpr HRESULT FromErrorNumber(int32_t number) {
  return static_cast<HRESULT>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}

struct IUnknown {
  static constexpr Guid IID = MakeGuid("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const Guid& iid, void** out) noexcept = 0;
  virtual uint32_t AddRef() noexcept = 0;
  virtual uint32_t Release() noexcept = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  static constexpr Guid IID = MakeGuid("{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) noexcept = 0;
  virtual HRESULT LockServer(bool lock) noexcept = 0;

 protected:
  ~IClassFactory() = default;
};

// Owning reference to an interface: AddRef on copy, Release on destruction.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adopts a reference the caller already owns.
  static ComPtr Adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  // Takes a new reference.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& o) : p_(o.get()) {
    if (p_) p_->AddRef();
  }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out parameters: releases the current reference first.
  void** put() {
    Reset();
    return reinterpret_cast<void**>(&p_);
  }
  T* Detach() { return std::exchange(p_, nullptr); }

  // QueryInterface to another interface; null when unsupported.
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(U::IID, out.put());
    return out;
  }

 private:
  T* p_ = nullptr;
};

// Live objects and server locks of one library, for DllCanUnloadNow.
class ModuleCount {
 public:
  void Increment() noexcept { n_.fetch_add(1, std::memory_order_relaxed); }
  void Decrement() noexcept { n_.fetch_sub(1, std::memory_order_relaxed); }
  long Value() const noexcept { return n_.load(std::memory_order_relaxed); }

 private:
  std::atomic<long> n_{0};
};

// Base for an object implementing one or more interfaces (all derived from
// IUnknown). Reference counting, QueryInterface over the listed interfaces
// (and their IUnknown), and the library's object count. Objects are created
// with a count of 1 through Make().
template <class Derived, class... Interfaces>
class Object : public Interfaces... {
 public:
  template <class... Args>
  static ComPtr<Derived> Make(Args&&... args) {
    return ComPtr<Derived>::Adopt(new Derived(std::forward<Args>(args)...));
  }

  HRESULT QueryInterface(const Guid& iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IUnknown::IID) {
      *out = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
    } else {
      (void)((Match<Interfaces>(iid, out)) || ...);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() noexcept override { return ++refs_; }
  uint32_t Release() noexcept override {
    uint32_t n = --refs_;
    if (n == 0) delete static_cast<Derived*>(this);
    return n;
  }

 protected:
  explicit Object(ModuleCount* module = nullptr) : module_(module) {
    if (module_) module_->Increment();
  }
  virtual ~Object() {
    if (module_) module_->Decrement();
  }

 private:
  using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  template <class I>
  bool Match(const Guid& iid, void** out) {
    return MatchChain<I>(iid, out, static_cast<I*>(this));
  }
  // Matches the interface itself and its declared bases (through I::Base).
  template <class I>
  static bool MatchChain(const Guid& iid, void** out, I* p) {
    if (iid == I::IID) {
      *out = p;
      return true;
    }
    if constexpr (requires { typename I::Base; }) {
      using B = typename I::Base;
      if constexpr (!std::is_same_v<B, IUnknown>) return MatchChain<B>(iid, out, p);
    }
    return false;
  }

  std::atomic<uint32_t> refs_{1};
  ModuleCount* module_;
};

// Per-thread error information (the platform's error object): set by an
// object before it returns a failing status, read by the client.
struct ErrorInfo {
  int32_t number = 0;
  std::string description;
  std::string source;
};
void SetErrorInfo(const ErrorInfo& info);
// Returns and clears the thread's error information.
ErrorInfo TakeErrorInfo();

// Creates objects by class identifier. The component creates every outside
// object through CreateInstance; a test or a host installs a provider in
// place of the registry.
class ObjectProvider {
 public:
  virtual ~ObjectProvider() = default;
  virtual HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) = 0;
};

// The provider of the calling thread (the apartment), if one is installed;
// else the process-wide one; else the registry. Returns the previous one.
// The provider is not owned and must outlive its installation.
ObjectProvider* SetThreadObjectProvider(ObjectProvider* provider);
ObjectProvider* SetProcessObjectProvider(ObjectProvider* provider);

// Creates a new object of the class and asks it for interface iid.
HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out);

// Typed creation; raises qbx::RuntimeError (with the error information or
// the platform's "ActiveX component can't create object", 429) on failure.
template <class I>
ComPtr<I> Create(const Guid& clsid);

}  // namespace qbx::com

namespace qbx::com {
// Raises the failure of a creation as a run-time error.
[[noreturn]] void RaiseCreateFailure(const Guid& clsid, HRESULT hr);

template <class I>
ComPtr<I> Create(const Guid& clsid) {
  ComPtr<I> out;
  HRESULT hr = CreateInstance(clsid, I::IID, out.put());
  if (Failed(hr) || !out) RaiseCreateFailure(clsid, Failed(hr) ? hr : E_NOINTERFACE);
  return out;
}
}  // namespace qbx::com
