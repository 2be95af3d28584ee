#include "records/interface.h"

namespace qbx::iface {

namespace {

// Member names are ASCII; the platform resolves them without regard to case.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

com::DISPID FindDispId(std::string_view name) {
  for (const Member& m : kMembers)
    if (SameName(m.name, name)) return m.dispid;
  return com::DISPID_UNKNOWN;
}

const Member* FindMember(com::DISPID id, MemberKind kind) {
  for (const Member& m : kMembers)
    if (m.dispid == id && m.kind == kind) return &m;
  return nullptr;
}

}  // namespace qbx::iface
