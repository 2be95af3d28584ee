// The COM-style frame without the component: error information, object
// providers, creation failures, the registry file and the generic server.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "automation/com.h"
#include "automation/registry.h"
#include "automation/server_frame.h"
#include "automation/value.h"
#include "tests/component/support.h"

namespace qbx::com {
namespace {

using test::TempRegistry;

struct IWidget : IUnknown {
  using Base = IUnknown;
  static constexpr Guid IID = MakeGuid("{0F3C9E2A-6B1D-4C57-9A08-3E5F7D2B1C40}");
  virtual int Value() = 0;

 protected:
  ~IWidget() = default;
};

class Widget final : public Object<Widget, IWidget> {
 public:
  explicit Widget(ModuleCount* count = nullptr, int value = 7) : Object(count), value_(value) {}
  int Value() override { return value_; }

 private:
  int value_;
};

// Counted, then fails in its constructor (as an object whose start-up fails).
class Fragile final : public Object<Fragile, IWidget> {
 public:
  explicit Fragile(ModuleCount* count) : Object(count) { Raise(kErrOverflow); }
  int Value() override { return 0; }
};

HRESULT CreateRaisingNull(ModuleCount*, const Guid&, void**) {
  Raise(kErrInvalidUseOfNull);
}
HRESULT CreateRaisingWithSource(ModuleCount*, const Guid&, void**) {
  throw RuntimeError(3709, "The connection is closed.", "ADODB.Connection");
}
HRESULT CreateThrowingOther(ModuleCount*, const Guid&, void**) {
  throw std::logic_error("boom");
}
HRESULT CreateRaisingStatus(ModuleCount*, const Guid&, void**) {
  throw RuntimeError(static_cast<int32_t>(0x80040E14u), "Syntax error", "Suite");
}

constexpr Guid kClsidWidget = MakeGuid("{A1000000-0000-4000-8000-000000000001}");
constexpr Guid kClsidPlain = MakeGuid("{A1000000-0000-4000-8000-000000000002}");
constexpr Guid kClsidFragile = MakeGuid("{A1000000-0000-4000-8000-000000000003}");
constexpr Guid kClsidNull = MakeGuid("{A1000000-0000-4000-8000-000000000004}");
constexpr Guid kClsidSourced = MakeGuid("{A1000000-0000-4000-8000-000000000005}");
constexpr Guid kClsidOther = MakeGuid("{A1000000-0000-4000-8000-000000000006}");
constexpr Guid kClsidStatus = MakeGuid("{A1000000-0000-4000-8000-000000000007}");
constexpr Guid kClsidUnknown = MakeGuid("{A1000000-0000-4000-8000-0000000000FF}");

constexpr ServerClass kClasses[] = {
    {kClsidWidget, "Widget", "Test.Widget", &CreateObject<Widget>},
    {kClsidPlain, "Plain", "", &CreateObject<Widget>},
    {kClsidFragile, "Fragile", "", &CreateObject<Fragile>},
    {kClsidNull, "Null", "", &CreateRaisingNull},
    {kClsidSourced, "Sourced", "", &CreateRaisingWithSource},
    {kClsidOther, "Other", "", &CreateThrowingOther},
    {kClsidStatus, "Status", "", &CreateRaisingStatus},
};
constinit InprocServer g_server(kClasses, "TestServer");

ComPtr<IClassFactory> Factory(const Guid& clsid) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(g_server.GetClassObject(&clsid, &IClassFactory::IID, factory.put()), S_OK);
  return factory;
}

// ---------------------------------------------------------------------------
// Error information and object providers
// ---------------------------------------------------------------------------

TEST(ComErrorInfo, BelongsToItsThreadAndIsTakenOnce) {
  SetErrorInfo({94, "Invalid use of Null", "Quelbarix"});
  ErrorInfo seen_elsewhere{1, "x", "y"};
  std::thread([&] { seen_elsewhere = TakeErrorInfo(); }).join();
  EXPECT_EQ(seen_elsewhere.number, 0);

  ErrorInfo first = TakeErrorInfo();
  EXPECT_EQ(first.number, 94);
  EXPECT_EQ(first.description, "Invalid use of Null");
  EXPECT_EQ(first.source, "Quelbarix");
  EXPECT_EQ(TakeErrorInfo().number, 0);
}

class Provider : public ObjectProvider {
 public:
  explicit Provider(int value, HRESULT status = S_OK) : value_(value), status_(status) {}
  HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override {
    ++calls;
    last_clsid = clsid;
    if (Failed(status_)) return status_;
    if (failure) throw *failure;
    return Widget::Make(nullptr, value_)->QueryInterface(iid, out);
  }
  int calls = 0;
  Guid last_clsid;
  std::optional<RuntimeError> failure;

 private:
  int value_;
  HRESULT status_;
};

TEST(ComProviders, ThreadFirstThenProcessThenRegistry) {
  TempRegistry registry;  // empty: nothing registered
  Provider thread_provider(1), process_provider(2);
  ObjectProvider* old_process = SetProcessObjectProvider(&process_provider);
  ObjectProvider* old_thread = SetThreadObjectProvider(&thread_provider);

  EXPECT_EQ(Create<IWidget>(kClsidWidget)->Value(), 1);
  EXPECT_EQ(thread_provider.last_clsid, kClsidWidget);
  int elsewhere = 0;
  std::thread([&] { elsewhere = Create<IWidget>(kClsidWidget)->Value(); }).join();
  EXPECT_EQ(elsewhere, 2);

  SetThreadObjectProvider(nullptr);
  EXPECT_EQ(Create<IWidget>(kClsidWidget)->Value(), 2);
  SetProcessObjectProvider(nullptr);
  ComPtr<IWidget> none;
  EXPECT_EQ(CreateInstance(kClsidWidget, IWidget::IID, none.put()), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(none);
  EXPECT_EQ(thread_provider.calls, 1);
  EXPECT_EQ(process_provider.calls, 2);

  SetThreadObjectProvider(old_thread);
  SetProcessObjectProvider(old_process);
}

TEST(ComCreate, FailuresRaiseTheCreationsOwnErrorOrCantCreateObject) {
  struct Case {
    const char* what;
    HRESULT status;
    std::optional<RuntimeError> thrown;
    int32_t number;
    std::string description;
    std::string source;
  };
  const Case cases[] = {
      {"not registered", REGDB_E_CLASSNOTREG, std::nullopt, 429,
       "ActiveX component can't create object", ""},
      {"no such interface", E_NOINTERFACE, std::nullopt, 429,
       "ActiveX component can't create object", ""},
      {"out of memory", E_OUTOFMEMORY, std::nullopt, 7, "Out of memory", ""},
      {"raised by the provider", S_OK, RuntimeError(70, "Permission denied", "Suite"), 70,
       "Permission denied", "Suite"},
  };
  for (const Case& c : cases) {
    Provider provider(1, c.status);
    provider.failure = c.thrown;
    ObjectProvider* old = SetThreadObjectProvider(&provider);
    // An older error must not be mistaken for this creation's.
    SetErrorInfo({5, "stale", "old"});
    try {
      Create<IWidget>(kClsidWidget);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.number) << c.what;
      EXPECT_EQ(e.description(), c.description) << c.what;
      EXPECT_EQ(e.source(), c.source) << c.what;
    }
    EXPECT_EQ(TakeErrorInfo().number, 0) << c.what;
    SetThreadObjectProvider(old);
  }
}

TEST(ComCreate, RaiseFailurePrefersTheErrorInformation) {
  struct Case {
    HRESULT status;
    int32_t info_number;  // 0: no error information set
    int32_t number;
  };
  const Case cases[] = {
      {FromErrorNumber(13), 0, 13},
      {FromErrorNumber(94), 3709, 3709},
      {DISP_E_EXCEPTION, 3021, 3021},
      {DISP_E_TYPEMISMATCH, 0, 13},
      {DISP_E_MEMBERNOTFOUND, 0, 438},
      {DISP_E_BADPARAMCOUNT, 0, 450},
      {CO_E_CLASSSTRING, 0, 429},
      {E_INVALIDARG, 0, 5},
      {E_FAIL, 0, E_FAIL},
  };
  for (const Case& c : cases) {
    if (c.info_number) SetErrorInfo({c.info_number, "from the object", "Obj"});
    try {
      RaiseFailure(c.status);
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.number) << std::hex << c.status;
      if (c.info_number) {
        EXPECT_EQ(e.description(), "from the object");
      }
    }
    EXPECT_EQ(TakeErrorInfo().number, 0);
  }
}

// ---------------------------------------------------------------------------
// The generic in-process server
// ---------------------------------------------------------------------------

TEST(InprocServer, ClassObjectsOnlyForItsClasses) {
  struct Case {
    Guid clsid;
    Guid iid;
    HRESULT status;
  };
  const Case cases[] = {
      {kClsidWidget, IClassFactory::IID, S_OK},
      {kClsidPlain, IUnknown::IID, S_OK},
      {kClsidWidget, IWidget::IID, E_NOINTERFACE},
      {kClsidUnknown, IClassFactory::IID, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(g_server.GetClassObject(&c.clsid, &c.iid, &out), c.status) << c.clsid.ToString();
    EXPECT_EQ(out != nullptr, c.status == S_OK);
    if (out) static_cast<IUnknown*>(out)->Release();
  }
  EXPECT_EQ(g_server.GetClassObject(&kClsidWidget, &IClassFactory::IID, nullptr), E_POINTER);
  EXPECT_EQ(g_server.CanUnloadNow(), S_OK);
}

TEST(InprocServer, FactoryRefusesAggregationAndMakesObjects) {
  ComPtr<IClassFactory> factory = Factory(kClsidWidget);
  ComPtr<IWidget> outer = Widget::Make();
  ComPtr<IWidget> widget;
  EXPECT_EQ(factory->CreateInstance(outer.get(), IWidget::IID, widget.put()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(widget);
  ASSERT_EQ(factory->CreateInstance(nullptr, IWidget::IID, widget.put()), S_OK);
  EXPECT_EQ(widget->Value(), 7);
  ComPtr<IClassFactory> wrong;
  EXPECT_EQ(factory->CreateInstance(nullptr, IClassFactory::IID, wrong.put()), E_NOINTERFACE);
}

TEST(InprocServer, CannotUnloadWhileObjectsFactoriesOrLocksLive) {
  ASSERT_EQ(g_server.CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory = Factory(kClsidWidget);
  EXPECT_EQ(g_server.CanUnloadNow(), S_FALSE);
  ComPtr<IWidget> widget;
  ASSERT_EQ(factory->CreateInstance(nullptr, IWidget::IID, widget.put()), S_OK);
  factory->LockServer(true);
  factory.Reset();
  EXPECT_EQ(g_server.CanUnloadNow(), S_FALSE);  // the object and the lock
  ComPtr<IWidget> copy = widget;
  widget.Reset();
  EXPECT_EQ(g_server.CanUnloadNow(), S_FALSE);  // a second reference and the lock
  copy.Reset();
  EXPECT_EQ(g_server.CanUnloadNow(), S_FALSE);  // the lock
  Factory(kClsidWidget)->LockServer(false);
  EXPECT_EQ(g_server.CanUnloadNow(), S_OK);
}

TEST(InprocServer, CreationFailuresBecomeStatusAndErrorInformation) {
  struct Case {
    Guid clsid;
    HRESULT status;
    int32_t number;
    std::string description;
    std::string source;
  };
  const Case cases[] = {
      {kClsidNull, FromErrorNumber(94), 94, "Invalid use of Null", "TestServer"},
      {kClsidFragile, FromErrorNumber(6), 6, "Overflow", "TestServer"},
      {kClsidSourced, FromErrorNumber(3709), 3709, "The connection is closed.", "ADODB.Connection"},
      {kClsidOther, FromErrorNumber(51), 51, "Internal error: boom", "TestServer"},
      {kClsidStatus, static_cast<HRESULT>(0x80040E14u), static_cast<int32_t>(0x80040E14u),
       "Syntax error", "Suite"},
  };
  for (const Case& c : cases) {
    ComPtr<IClassFactory> factory = Factory(c.clsid);
    ComPtr<IWidget> widget;
    SetErrorInfo({5, "stale", "old"});
    EXPECT_EQ(factory->CreateInstance(nullptr, IWidget::IID, widget.put()), c.status)
        << c.clsid.ToString();
    EXPECT_FALSE(widget);
    ErrorInfo info = TakeErrorInfo();
    EXPECT_EQ(info.number, c.number);
    EXPECT_EQ(info.description, c.description);
    EXPECT_EQ(info.source, c.source);
  }
  // A constructor that failed after the object was counted leaves no count.
  EXPECT_EQ(g_server.CanUnloadNow(), S_OK);
}

TEST(InprocServer, RegistrationWritesAndRemovesExactlyItsEntries) {
  TempRegistry registry;
  const std::string foreign_clsid = "{B2000000-0000-4000-8000-000000000001}";
  ASSERT_EQ(RegistryWrite({{"CLSID\\" + foreign_clsid, "", "Foreign"},
                           {"Foreign.Class\\CLSID", "", foreign_clsid},
                           {"Test.WidgetX", "", "a neighbour sharing a prefix"}}),
            S_OK);

  ASSERT_EQ(g_server.Register(), S_OK);
  const std::string exe = std::filesystem::canonical("/proc/self/exe").string();
  const std::string widget = "CLSID\\" + kClsidWidget.ToString();
  const std::string plain = "CLSID\\" + kClsidPlain.ToString();
  struct Entry {
    std::string key, name, value;
  };
  const Entry entries[] = {
      {widget, "", "Widget"},
      {widget + "\\InprocServer32", "", exe},
      {widget + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {widget + "\\ProgID", "", "Test.Widget"},
      {"Test.Widget", "", "Widget"},
      {"Test.Widget\\CLSID", "", kClsidWidget.ToString()},
      {plain, "", "Plain"},
      {plain + "\\InprocServer32", "", exe},
  };
  for (const Entry& e : entries)
    EXPECT_EQ(RegistryRead(e.key, e.name), e.value) << e.key << " " << e.name;
  EXPECT_EQ(RegistryRead(plain + "\\ProgID"), std::nullopt);
  Guid clsid;
  ASSERT_EQ(ClsidFromProgId("test.widget", &clsid), S_OK);
  EXPECT_EQ(clsid, kClsidWidget);

  ASSERT_EQ(g_server.Unregister(), S_OK);
  for (const Entry& e : entries)
    EXPECT_EQ(RegistryRead(e.key, e.name), std::nullopt) << e.key << " " << e.name;
  EXPECT_EQ(RegistryRead("CLSID\\" + foreign_clsid), "Foreign");
  EXPECT_EQ(RegistryRead("Foreign.Class\\CLSID"), foreign_clsid);
  EXPECT_EQ(RegistryRead("Test.WidgetX"), "a neighbour sharing a prefix");
  EXPECT_EQ(ClsidFromProgId("Test.Widget", &clsid), CO_E_CLASSSTRING);
}

TEST(InprocServer, RegistrationFailsWhenTheRegistryCannotBeWritten) {
  TempRegistry registry;
  ::setenv("QUELBARIX_REGISTRY", "/proc/qbx-no-such-folder/registry", 1);
  EXPECT_EQ(g_server.Register(), SELFREG_E_CLASS);
  EXPECT_EQ(g_server.Unregister(), SELFREG_E_CLASS);
}

// ---------------------------------------------------------------------------
// The registry file
// ---------------------------------------------------------------------------

TEST(Registry, ReadsBackWithoutRegardToCase) {
  TempRegistry registry;
  EXPECT_EQ(RegistryRead("Nothing"), std::nullopt);
  ASSERT_EQ(RegistryWrite({{"Alpha\\Beta", "", "default"},
                           {"Alpha\\Beta", "Named", "a=b [c] ; d"},
                           {"Alpha\\Beta", "Empty", ""}}),
            S_OK);
  EXPECT_EQ(RegistryRead("ALPHA\\beta"), "default");
  EXPECT_EQ(RegistryRead("alpha\\beta", "@"), "default");
  EXPECT_EQ(RegistryRead("Alpha\\Beta", "named"), "a=b [c] ; d");
  EXPECT_EQ(RegistryRead("Alpha\\Beta", "Empty"), "");
  EXPECT_EQ(RegistryRead("Alpha\\Beta", "Missing"), std::nullopt);
  EXPECT_EQ(RegistryRead("Alpha"), std::nullopt);

  ASSERT_EQ(RegistryWrite({{"alpha\\BETA", "NAMED", "replaced"}}), S_OK);
  EXPECT_EQ(RegistryRead("Alpha\\Beta", "Named"), "replaced");
  EXPECT_EQ(RegistryRead("Alpha\\Beta"), "default");
}

TEST(Registry, RemoveTakesTheKeyAndItsSubkeysOnly) {
  TempRegistry registry;
  ASSERT_EQ(RegistryWrite({{"A", "", "1"},
                           {"A\\B", "", "2"},
                           {"A\\B\\C", "", "3"},
                           {"A\\B\\C\\D", "x", "4"},
                           {"A\\BC", "", "5"},
                           {"B", "", "6"}}),
            S_OK);
  ASSERT_EQ(RegistryRemove({"a\\b", "Nowhere"}), S_OK);
  EXPECT_EQ(RegistryRead("A"), "1");
  EXPECT_EQ(RegistryRead("A\\B"), std::nullopt);
  EXPECT_EQ(RegistryRead("A\\B\\C"), std::nullopt);
  EXPECT_EQ(RegistryRead("A\\B\\C\\D", "x"), std::nullopt);
  EXPECT_EQ(RegistryRead("A\\BC"), "5");
  EXPECT_EQ(RegistryRead("B"), "6");
}

TEST(Registry, RefusesEntriesThatWouldNotReadBack) {
  TempRegistry registry;
  const RegistryValue bad[] = {
      {"", "", "no key"},        {"K", "a=b", "name with ="}, {"K", "", "two\nlines"},
      {"K\nL", "", "key break"}, {"K", "[x", "section-like"}, {"K", ";x", "comment-like"},
      {"K", "@", "literal @"},
  };
  for (const RegistryValue& v : bad) {
    EXPECT_EQ(RegistryWrite({{"Good", "", "kept out too"}, v}), E_INVALIDARG) << v.value;
  }
  EXPECT_EQ(RegistryRead("Good"), std::nullopt);
}

TEST(Registry, ConcurrentWritersLoseNothing) {
  TempRegistry registry;
  constexpr int kProcesses = 3, kThreads = 2, kWrites = 10;
  auto write_all = [](int process) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([process, t] {
        for (int i = 0; i < kWrites; ++i) {
          std::string key = "W\\" + std::to_string(process) + "\\" + std::to_string(t);
          RegistryWrite({{key, "n" + std::to_string(i), std::to_string(i)}});
        }
      });
    }
    for (auto& th : threads) th.join();
  };
  // Children forked before any thread starts, all writing at once.
  std::vector<pid_t> children;
  for (int p = 1; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      write_all(p);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  write_all(0);
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  for (int p = 0; p < kProcesses; ++p)
    for (int t = 0; t < kThreads; ++t)
      for (int i = 0; i < kWrites; ++i)
        EXPECT_EQ(RegistryRead("W\\" + std::to_string(p) + "\\" + std::to_string(t),
                               "n" + std::to_string(i)),
                  std::to_string(i));
  // Only the registry and its lock remain: no temporary file left behind.
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(registry.folder()))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"registry", "registry.lock"}));
}

TEST(Registry, PathFromTheEnvironment) {
  struct Case {
    const char* registry;
    const char* xdg;
    const char* home;
    std::string path;
  };
  const Case cases[] = {
      {"/tmp/r/file", "/x", "/h", "/tmp/r/file"},
      {"", "/x", "/h", "/x/quelbarix/registry"},
      {nullptr, "relative", "/h", "/h/.config/quelbarix/registry"},
      {nullptr, nullptr, "/h", "/h/.config/quelbarix/registry"},
  };
  TempRegistry restore_registry;
  auto keep = [](const char* name) -> std::optional<std::string> {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  auto put = [](const char* name, const char* value) {
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  };
  const auto xdg = keep("XDG_CONFIG_HOME"), home = keep("HOME");
  for (const Case& c : cases) {
    put("QUELBARIX_REGISTRY", c.registry);
    put("XDG_CONFIG_HOME", c.xdg);
    put("HOME", c.home);
    EXPECT_EQ(RegistryPath(), c.path);
  }
  put("XDG_CONFIG_HOME", xdg ? xdg->c_str() : nullptr);
  put("HOME", home ? home->c_str() : nullptr);
}

TEST(Registry, CreationFailsBeforeReachingAClassFactory) {
  TempRegistry registry;
  const Guid missing_library = MakeGuid("{C3000000-0000-4000-8000-000000000001}");
  const Guid not_a_server = MakeGuid("{C3000000-0000-4000-8000-000000000002}");
  ASSERT_EQ(RegistryWrite({
                {"CLSID\\" + missing_library.ToString() + "\\InprocServer32", "",
                 registry.folder() + "/libmissing.so"},
                {"CLSID\\" + not_a_server.ToString() + "\\InprocServer32", "", "libc.so.6"},
                {"Bad.ProgId\\CLSID", "", "not a class identifier"},
            }),
            S_OK);
  struct Case {
    std::string name;
    HRESULT status;
  };
  const Case cases[] = {
      {kClsidUnknown.ToString(), REGDB_E_CLASSNOTREG},
      {missing_library.ToString(), CO_E_DLLNOTFOUND},
      {not_a_server.ToString(), static_cast<HRESULT>(0x800401F9u)},  // CO_E_ERRORINDLL
      {"Bad.ProgId", CO_E_CLASSSTRING},
      {"No.Such.ProgId", CO_E_CLASSSTRING},
      {"", CO_E_CLASSSTRING},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateByName(c.name, IUnknown::IID, &out), c.status) << c.name;
    EXPECT_EQ(out, nullptr);
  }
}

TEST(Registry, ModulePathNamesTheLibraryOrProgram) {
  EXPECT_EQ(ModulePath(&g_server), std::filesystem::canonical("/proc/self/exe").string());
  const std::string library = ModulePath(reinterpret_cast<const void*>(&TakeErrorInfo));
  EXPECT_EQ(library.front(), '/');
  EXPECT_NE(library.find("libquelbarix_automation.so"), std::string::npos) << library;
}

}  // namespace
}  // namespace qbx::com
