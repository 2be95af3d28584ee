// The member table of _Transferencia and name resolution for late binding.
#include "records/interface.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <string>

#include "automation/value.h"

namespace qbx::iface {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Interface order; identifiers numbered by first appearance, shared by the
// read and the write of a property; every name resolves in any case.
TEST(InterfaceTest, MembersIdentifiersAndNames) {
  std::map<std::string, com::DISPID> first;
  int order = 1;
  for (const Member& m : kMembers) {
    SCOPED_TRACE(m.name);
    EXPECT_EQ(m.order, order++);
    const com::DISPID next = static_cast<com::DISPID>(first.size()) + 1;
    EXPECT_EQ(m.dispid, first.emplace(std::string(m.name), next).first->second);
    EXPECT_EQ(FindMember(m.dispid, m.kind), &m);
    EXPECT_EQ(FindDispId(m.name), m.dispid);
    EXPECT_EQ(FindDispId(UCase(m.name)), m.dispid);
    EXPECT_EQ(FindDispId(Lower(std::string(m.name))), m.dispid);
    if (m.kind == MemberKind::PropertyLet) {
      const Member* get = FindMember(m.dispid, MemberKind::PropertyGet);
      ASSERT_NE(get, nullptr);
      EXPECT_EQ(m.param, "Valor");
      EXPECT_EQ(m.param_type, get->result);
    }
  }
  EXPECT_EQ(FindDispId("mostrarmensajeerror"), dispid::MostrarMensajeError);
  // Private operations and near misses are no members.
  for (const char* name :
       {"Graba_Movimiento", "Inserta_Transferencia", "Encabezad", "Encabezado ", ""})
    EXPECT_EQ(FindDispId(name), com::DISPID_UNKNOWN) << "'" << name << "'";
  // Error is read-only; a Sub is no property, a property no method.
  EXPECT_EQ(FindMember(dispid::Error, MemberKind::PropertyLet), nullptr);
  EXPECT_EQ(FindMember(dispid::Nuevo, MemberKind::PropertyGet), nullptr);
  EXPECT_EQ(FindMember(dispid::Encabezado, MemberKind::Function), nullptr);
  EXPECT_EQ(FindMember(99, MemberKind::Sub), nullptr);
  for (com::DISPID id : {dispid::Encabezado, dispid::Inventario_Pendiente, dispid::Detalle,
                         dispid::MostrarMensajeError})
    EXPECT_NE(FindMember(id, MemberKind::PropertyLet), nullptr) << id;
}

}  // namespace
}  // namespace qbx::iface
