// The member table of _Transferencia and name resolution for late binding.
#include "records/interface.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace qbx::iface {
namespace {

TEST(InterfaceTest, NamesResolveWithoutRegardToCase) {
  struct Case {
    const char* name;
    com::DISPID id;
  };
  const Case cases[] = {
      {"Error", dispid::Error},
      {"error", dispid::Error},
      {"ENCABEZADO", dispid::Encabezado},
      {"encabezado", dispid::Encabezado},
      {"inventario_PENDIENTE", dispid::Inventario_Pendiente},
      {"Detalle", dispid::Detalle},
      {"NUEVO", dispid::Nuevo},
      {"add_transferencia_detalle", dispid::Add_Transferencia_Detalle},
      {"Cancelar_Transferencia", dispid::Cancelar_Transferencia},
      {"genera_requisicion_pedido", dispid::Genera_Requisicion_Pedido},
      {"done", dispid::Done},
      {"FINALIZAR_TRANSFERENCIA", dispid::Finalizar_Transferencia},
      {"Generar_CFDI_Traslado", dispid::Generar_CFDI_Traslado},
      {"mostrarmensajeerror", dispid::MostrarMensajeError},
      // Not members: private operations, near misses, empty.
      {"Graba_Movimiento", com::DISPID_UNKNOWN},
      {"Inserta_Transferencia", com::DISPID_UNKNOWN},
      {"Encabezad", com::DISPID_UNKNOWN},
      {"Encabezado ", com::DISPID_UNKNOWN},
      {"", com::DISPID_UNKNOWN},
  };
  for (const Case& c : cases) EXPECT_EQ(FindDispId(c.name), c.id) << "'" << c.name << "'";
}

TEST(InterfaceTest, ReadAndWriteOfAPropertyShareOneIdentifier) {
  const std::set<std::string> properties = {"Encabezado", "Inventario_Pendiente", "Detalle",
                                            "MostrarMensajeError"};
  for (const std::string& name : properties) {
    com::DISPID id = FindDispId(name);
    const Member* get = FindMember(id, MemberKind::PropertyGet);
    const Member* let = FindMember(id, MemberKind::PropertyLet);
    ASSERT_NE(get, nullptr) << name;
    ASSERT_NE(let, nullptr) << name;
    EXPECT_EQ(get->name, name);
    EXPECT_EQ(let->name, name);
    EXPECT_EQ(let->param, "Valor");
    EXPECT_EQ(let->param_type, get->result) << name;
  }
  // Error is read-only.
  EXPECT_NE(FindMember(dispid::Error, MemberKind::PropertyGet), nullptr);
  EXPECT_EQ(FindMember(dispid::Error, MemberKind::PropertyLet), nullptr);
  // A Sub is not a property, a property is not a method.
  EXPECT_EQ(FindMember(dispid::Nuevo, MemberKind::PropertyGet), nullptr);
  EXPECT_EQ(FindMember(dispid::Encabezado, MemberKind::Function), nullptr);
  EXPECT_EQ(FindMember(99, MemberKind::Sub), nullptr);
}

TEST(InterfaceTest, TableKeepsInterfaceOrderAndNumbersByFirstAppearance) {
  std::map<std::string, com::DISPID> first;
  com::DISPID next = 1;
  int order = 1;
  for (const Member& m : kMembers) {
    EXPECT_EQ(m.order, order++);
    auto [it, inserted] = first.emplace(std::string(m.name), next);
    if (inserted) ++next;
    EXPECT_EQ(m.dispid, it->second) << m.name;
    EXPECT_EQ(FindMember(m.dispid, m.kind), &m) << m.name;
  }
  EXPECT_EQ(order, 17);
  EXPECT_EQ(first.size(), 12u);
}

}  // namespace
}  // namespace qbx::iface
