// The registry file, one key per section:
//
//   [CLSID\{582CF778-1781-431F-8AD9-5BC9D2DE72D0}\InprocServer32]
//   @=/usr/lib/libquelbarix.so
//   ThreadingModel=Apartment
//
// "@" names the key's default value. Keys and value names compare without
// regard to case; a key exists while it holds a value. Readers take no lock:
// writers replace the whole file by rename, so a reader sees either the old
// or the new file. Writers serialise on "<file>.lock", which is never
// replaced (a lock on the registry file itself would be lost by the rename).
#include "automation/registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "automation/value.h"

namespace qbx::com {

namespace {

constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      char x = Lower(a[i]), y = Lower(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};

bool SameNoCase(std::string_view a, std::string_view b) {
  return !NoCaseLess{}(a, b) && !NoCaseLess{}(b, a);
}

using Values = std::map<std::string, std::string, NoCaseLess>;  // name ("" = default) -> value
using Tree = std::map<std::string, Values, NoCaseLess>;         // key -> values

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

bool Valid(const RegistryValue& v) {
  if (v.key.empty() || HasLineBreak(v.key) || HasLineBreak(v.value)) return false;
  if (HasLineBreak(v.name) || v.name.find('=') != std::string::npos || v.name == "@") return false;
  // A name that looks like a section header or a comment would not read back.
  return v.name.empty() || (v.name[0] != '[' && v.name[0] != ';' && v.name[0] != '#');
}

Tree Parse(std::istream& in) {
  Tree tree;
  std::string line;
  Values* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[' && line.back() == ']') {
      current = &tree[line.substr(1, line.size() - 2)];
      continue;
    }
    size_t eq = line.find('=');
    if (!current || eq == std::string::npos) continue;
    std::string name = line.substr(0, eq);
    if (name == "@") name.clear();
    (*current)[name] = line.substr(eq + 1);
  }
  return tree;
}

Tree Load(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  return Parse(in);
}

std::string Format(const Tree& tree) {
  std::ostringstream out;
  out << "; Quelbarix class registry. Written by the libraries' registration.\n";
  for (const auto& [key, values] : tree) {
    if (values.empty()) continue;
    out << "\n[" << key << "]\n";
    for (const auto& [name, value] : values)
      out << (name.empty() ? "@" : name) << '=' << value << '\n';
  }
  return out.str();
}

bool IsUnder(std::string_view key, std::string_view root) {
  if (key.size() == root.size()) return SameNoCase(key, root);
  return key.size() > root.size() && key[root.size()] == '\\' &&
         SameNoCase(key.substr(0, root.size()), root);
}

bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// Runs change over the registry under the writers' lock and replaces the
// file with the result.
template <class Change>
HRESULT Update(Change change) {
  const std::string path = RegistryPath();
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);

  int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) return SELFREG_E_CLASS;
  while (::flock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(lock);
      return SELFREG_E_CLASS;
    }
  }

  HRESULT hr = S_OK;
  Tree tree = Load(path);
  change(tree);
  static std::atomic<unsigned> counter{0};
  std::string temp =
      path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    hr = SELFREG_E_CLASS;
  } else {
    bool ok = WriteAll(fd, Format(tree));
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
      ::unlink(temp.c_str());
      hr = SELFREG_E_CLASS;
    }
  }
  ::flock(lock, LOCK_UN);
  ::close(lock);
  return hr;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  struct passwd pw;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found)
    return found->pw_dir;
  return ".";
}

// Server libraries stay loaded for the life of the process: objects they
// served may be alive anywhere, so nothing here ever unloads one.
std::mutex g_libraries_mutex;
std::map<std::string, void*>& Libraries() {
  static auto* libraries = new std::map<std::string, void*>;
  return *libraries;
}

void* LoadServerLibrary(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_libraries_mutex);
  auto& libraries = Libraries();
  if (auto it = libraries.find(path); it != libraries.end()) return it->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) libraries.emplace(path, handle);
  return handle;
}

}  // namespace

std::string RegistryPath() {
  if (const char* p = std::getenv("QUELBARIX_REGISTRY"); p && *p) return p;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
    return std::string(xdg) + "/quelbarix/registry";
  return HomeFolder() + "/.config/quelbarix/registry";
}

HRESULT RegistryWrite(const std::vector<RegistryValue>& values) {
  for (const auto& v : values)
    if (!Valid(v)) return E_INVALIDARG;
  try {
    return Update([&](Tree& tree) {
      for (const auto& v : values) tree[v.key][v.name] = v.value;
    });
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RegistryRemove(const std::vector<std::string>& keys) {
  try {
    return Update([&](Tree& tree) {
      for (auto it = tree.begin(); it != tree.end();) {
        bool doomed = false;
        for (const auto& root : keys)
          doomed = doomed || (!root.empty() && IsUnder(it->first, root));
        it = doomed ? tree.erase(it) : std::next(it);
      }
    });
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

std::optional<std::string> RegistryRead(std::string_view key, std::string_view name) {
  Tree tree = Load(RegistryPath());
  auto k = tree.find(key);
  if (k == tree.end()) return std::nullopt;
  auto v = k->second.find(name == "@" ? std::string_view{} : name);
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

HRESULT ClsidFromProgId(std::string_view prog_id, Guid* clsid) {
  if (!clsid) return E_POINTER;
  if (prog_id.empty() || prog_id.find('\\') != std::string_view::npos) return CO_E_CLASSSTRING;
  try {
    auto text = RegistryRead(std::string(prog_id) + "\\CLSID");
    if (!text) return CO_E_CLASSSTRING;
    auto guid = Guid::Parse(*text);
    if (!guid) return CO_E_CLASSSTRING;
    *clsid = *guid;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CreateFromRegistry(const Guid& clsid, const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    auto path = RegistryRead("CLSID\\" + clsid.ToString() + "\\InprocServer32");
    if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
    void* library = LoadServerLibrary(*path);
    if (!library) return CO_E_DLLNOTFOUND;
    auto get_class_object =
        reinterpret_cast<DllGetClassObjectFn>(::dlsym(library, "DllGetClassObject"));
    if (!get_class_object) return CO_E_ERRORINDLL;
    ComPtr<IClassFactory> factory;
    HRESULT hr = get_class_object(&clsid, &IClassFactory::IID, factory.put());
    if (Failed(hr)) return hr;
    if (!factory) return E_UNEXPECTED;
    return factory->CreateInstance(nullptr, iid, out);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CreateByName(std::string_view prog_id_or_clsid, const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  Guid clsid;
  if (auto parsed = Guid::Parse(prog_id_or_clsid)) {
    clsid = *parsed;
  } else if (HRESULT hr = ClsidFromProgId(prog_id_or_clsid, &clsid); Failed(hr)) {
    return hr;
  }
  return CreateFromRegistry(clsid, iid, out);
}

std::string ModulePath(const void* address) {
  Dl_info info{};
  struct link_map* map = nullptr;
  if (::dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) != 0 && map &&
      map->l_name && map->l_name[0] != '\0') {
    char resolved[PATH_MAX];
    if (::realpath(map->l_name, resolved)) return resolved;
    return map->l_name;
  }
  // The main program has no name in the link map.
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return info.dli_fname ? info.dli_fname : "";
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace qbx::com
