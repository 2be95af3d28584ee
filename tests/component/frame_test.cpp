// The COM-style frame without the component: error information, object
// providers, creation failures, the registry file and the generic server.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <tuple>

#include "automation/registry.h"
#include "automation/server_frame.h"
#include "tests/component/support.h"

namespace qbx::com {
namespace {

using test::Raised;
using test::TempRegistry;

struct IWidget : IUnknown {
  using Base = IUnknown;
  static constexpr Guid IID = MakeGuid("{0F3C9E2A-6B1D-4C57-9A08-3E5F7D2B1C40}");
  virtual int Value() = 0;

 protected:
  ~IWidget() = default;
};

struct Widget final : Object<Widget, IWidget> {
  explicit Widget(ModuleCount* count = nullptr, int v = 7) : Object(count), value(v) {}
  int Value() override { return value; }
  int value;
};

constexpr Guid kClsidWidget = MakeGuid("{A1000000-0000-4000-8000-000000000001}");
constexpr Guid kClsidUnknown = MakeGuid("{A1000000-0000-4000-8000-0000000000FF}");
constexpr ServerClass kClasses[] = {{kClsidWidget, "Widget", "Test.Widget", &CreateObject<Widget>}};
constinit InprocServer g_server(kClasses, "TestServer");

// Answers a Widget of its value, or its failing status or error.
struct Provider : ObjectProvider {
  explicit Provider(int v, HRESULT s = S_OK) : value(v), status(s) {}
  HRESULT CreateInstance(const Guid&, const Guid& iid, void** out) override {
    if (failure) throw *failure;
    return Failed(status) ? status : Widget::Make(nullptr, value)->QueryInterface(iid, out);
  }
  int value;
  HRESULT status;
  std::optional<RuntimeError> failure;
};

// Providers of the thread, then of the process, then the registry; error
// information belongs to its thread and is taken once.
TEST(ComFrame, ProvidersAndErrorInformationOfTheThread) {
  TempRegistry registry;  // empty: nothing registered
  Provider on_thread(1), on_process(2);
  ObjectProvider* old_process = SetProcessObjectProvider(&on_process);
  ObjectProvider* old_thread = SetThreadObjectProvider(&on_thread);
  auto value = [] { return Create<IWidget>(kClsidWidget)->Value(); };
  EXPECT_EQ(value(), 1);
  SetErrorInfo({94, "Invalid use of Null", "Quelbarix"});
  int elsewhere = 0, info_elsewhere = 1;
  std::thread([&] { info_elsewhere = TakeErrorInfo().number, elsewhere = value(); }).join();
  EXPECT_EQ(std::pair(elsewhere, info_elsewhere), std::pair(2, 0));
  EXPECT_EQ(TakeErrorInfo().description, "Invalid use of Null");
  SetThreadObjectProvider(nullptr);
  EXPECT_EQ(value(), 2);
  SetProcessObjectProvider(nullptr);
  ComPtr<IWidget> none;
  EXPECT_EQ(CreateInstance(kClsidWidget, IWidget::IID, none.put()), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(none);
  SetThreadObjectProvider(old_thread);
  SetProcessObjectProvider(old_process);
}

TEST(ComFrame, FailuresBecomeRunTimeErrors) {
  // A creation raises its own error, else 429 or 7; never an older error.
  const std::string k429 = "429 ActiveX component can't create object []";
  // clang-format off
  const std::tuple<HRESULT, std::optional<RuntimeError>, std::string> creations[] = {
      {REGDB_E_CLASSNOTREG, {}, k429}, {E_OUTOFMEMORY, {}, "7 Out of memory []"},
      {S_OK, RuntimeError(70, "Permission denied", "Suite"), "70 Permission denied [Suite]"}};
  // clang-format on
  for (const auto& [status, thrown, error] : creations) {
    Provider provider(1, status);
    provider.failure = thrown;
    ObjectProvider* old = SetThreadObjectProvider(&provider);
    SetErrorInfo({5, "stale", "old"});
    EXPECT_EQ(Raised([] { Create<IWidget>(kClsidWidget); }), error);
    EXPECT_EQ(TakeErrorInfo().number, 0) << error;
    SetThreadObjectProvider(old);
  }
  // A failing status raises the error information when there is some.
  // Status, the error information's number set before (0: none), the error.
  // clang-format off
  const std::tuple<HRESULT, int32_t, std::string> statuses[] = {
      {FromErrorNumber(13), 0, "13 Type mismatch []"}, {DISP_E_TYPEMISMATCH, 0, "13 Type mismatch []"},
      {FromErrorNumber(94), 3709, "3709 from the object [Obj]"}, {DISP_E_MEMBERNOTFOUND, 0, "438 "},
      {CO_E_CLASSSTRING, 0, k429}, {E_FAIL, 0, std::to_string(E_FAIL) + " "}};
  // clang-format on
  for (const auto& [status, info, error] : statuses) {
    if (info) SetErrorInfo({info, "from the object", "Obj"});
    EXPECT_EQ(Raised([&] { RaiseFailure(status); }).substr(0, error.size()), error);
    EXPECT_EQ(TakeErrorInfo().number, 0);
  }
}

// Class objects, factories and unloading (the component's round trip pins registration down).
TEST(InprocServer, ClassObjectsFactoriesAndUnloading) {
  const std::tuple<Guid, Guid, HRESULT> refused[] = {
      {kClsidWidget, IWidget::IID, E_NOINTERFACE},
      {kClsidUnknown, IClassFactory::IID, CLASS_E_CLASSNOTAVAILABLE}};
  for (const auto& [clsid, iid, status] : refused) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(g_server.GetClassObject(&clsid, &iid, &out), status);
    EXPECT_EQ(out, nullptr);
  }
  ASSERT_EQ(g_server.CanUnloadNow(), S_OK);
  // No aggregation, only the class's interfaces; objects, factories and
  // locks each keep the server loaded.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(g_server.GetClassObject(&kClsidWidget, &IClassFactory::IID, factory.put()), S_OK);
  EXPECT_EQ(g_server.CanUnloadNow(), S_FALSE);
  ComPtr<IWidget> outer = Widget::Make(), widget;
  EXPECT_EQ(factory->CreateInstance(outer.get(), IWidget::IID, widget.put()),
            CLASS_E_NOAGGREGATION);
  ComPtr<IClassFactory> wrong;
  EXPECT_EQ(factory->CreateInstance(nullptr, IClassFactory::IID, wrong.put()), E_NOINTERFACE);
  ASSERT_EQ(factory->CreateInstance(nullptr, IWidget::IID, widget.put()), S_OK);
  EXPECT_EQ(widget->Value(), 7);
  factory->LockServer(true);
  ComPtr<IWidget> copy = widget;
  widget.Reset();
  EXPECT_EQ(g_server.CanUnloadNow(), S_FALSE);  // a second reference, the factory, the lock
  copy.Reset();
  factory->LockServer(false);
  EXPECT_EQ(g_server.CanUnloadNow(), S_FALSE);  // the factory
  factory.Reset();
  EXPECT_EQ(g_server.CanUnloadNow(), S_OK);
}

TEST(Registry, ReadWriteAndRemoveWithoutRegardToCase) {
  TempRegistry registry;
  // clang-format off
  ASSERT_EQ(RegistryWrite({{"Alpha", "", "parent"}, {"Alpha\\Beta", "", "default"},
                           {"Alpha\\Beta", "Named", "a=b [c] ; d"}, {"Alpha\\Beta", "Empty", ""},
                           {"Alpha\\Beta\\C", "x", "4"}, {"Alpha\\BetaC", "", "5"}}), S_OK);
  // clang-format on
  ASSERT_EQ(RegistryWrite({{"alpha\\BETA", "NAMED", "replaced"}}), S_OK);
  // Key, name, value before and after removing a key, which takes its
  // subkeys, not its parent or neighbours.
  // clang-format off
  const std::tuple<const char*, const char*, std::string, std::string> entries[] = {
      {"alpha\\beta", "@", "default", "(none)"}, {"Alpha\\Beta", "named", "replaced", "(none)"},
      {"Alpha\\Beta", "Empty", "", "(none)"}, {"Alpha\\Beta", "Missing", "(none)", "(none)"},
      {"Alpha\\Beta\\C", "x", "4", "(none)"}, {"Alpha\\BetaC", "", "5", "5"},
      {"alpha", "", "parent", "parent"}};
  // clang-format on
  auto check = [&](bool after) {
    for (const auto& [key, name, before, later] : entries)
      EXPECT_EQ(RegistryRead(key, name).value_or("(none)"), after ? later : before) << key << name;
  };
  check(false);
  ASSERT_EQ(RegistryRemove({"ALPHA\\beta", "Nowhere"}), S_OK);
  check(true);
  // Entries that would not read back are refused, with the whole write.
  const RegistryValue bad[] = {{"", "", "no key"}, {"K", "a=b", "name with ="},
                               {"K", "", "two\nlines"}, {"K", "[x", "section-like"},
                               {"K", "@", "literal @"}};
  for (const RegistryValue& v : bad)
    EXPECT_EQ(RegistryWrite({{"Good", "", "kept out too"}, v}), E_INVALIDARG) << v.value;
  EXPECT_EQ(RegistryRead("Good"), std::nullopt);
}

// Two processes of two threads each (forked before any thread starts) all
// write at once; nothing is lost and no temporary file is left behind.
TEST(Registry, ConcurrentWritersLoseNothing) {
  TempRegistry registry;
  auto key = [](int p, int t) { return "W\\" + std::to_string(p) + "\\" + std::to_string(t); };
  const pid_t child = ::fork();
  const int process = child == 0;  // 0 the parent, 1 its child
  auto write = [&](int t) {
    for (int i = 0; i < 10; ++i)
      RegistryWrite({{key(process, t), "n" + std::to_string(i), std::to_string(i)}});
  };
  std::thread first(write, 0), second(write, 1);
  first.join(), second.join();
  if (process) ::_exit(0);
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  for (int n = 0; n < 40; ++n)  // process, thread, value
    EXPECT_EQ(RegistryRead(key(n / 20, n / 10 % 2), "n" + std::to_string(n % 10)),
              std::to_string(n % 10));
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(registry.path))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"registry", "registry.lock"}));
}

}  // namespace
}  // namespace qbx::com
