// The one description of class Transferencia's public face: identifiers, type
// library, and the member table in interface order. The server frame and late
// binding both read it.
#pragma once

#include <span>
#include <string_view>

#include "automation/dispatch.h"
#include "automation/guid.h"

namespace qbx::iface {

constexpr Guid kClsidTransferencia = MakeGuid("{582CF778-1781-431F-8AD9-5BC9D2DE72D0}");
constexpr Guid kIidTransferencia = MakeGuid("{7F04333F-03C2-4998-8E25-86EDCE85CDCB}");
constexpr std::string_view kProgId = "Quelbarix.Transferencia";
constexpr std::string_view kClassName = "Transferencia";
constexpr std::string_view kInterfaceName = "_Transferencia";

struct TypeLibraryInfo {
  Guid id;
  std::string_view name;
  int major;
  int minor;
  int lcid;
  std::string_view help;
};
constexpr TypeLibraryInfo kTypeLibrary{
    MakeGuid("{7CD6A207-77C9-424B-A39A-406417A975B7}"), "Quelbarix", 2, 3, 0x409,
    "Orvane - Transferencias"};
// The suite's shared library that defines UserDef.
constexpr TypeLibraryInfo kSharedTypeLibrary{
    MakeGuid("{D2CE583F-284A-4E00-93D8-29532A8951CF}"), "", 3, 0, 0, ""};
constexpr Guid kRecordUserDef = MakeGuid("{DEDD6681-7CD4-4CA8-9ADE-E9F006EB2A46}");

constexpr Guid kRecordSucursal = MakeGuid("{4AB8810D-F24C-4DCA-8D6A-E92213D4C296}");
constexpr Guid kRecordAlmacen = MakeGuid("{C82EFDBD-DD6C-46EC-B000-1B450D3ED427}");
constexpr Guid kRecordProducto = MakeGuid("{A56BEAC1-DB47-4A1D-A0C6-F1692C7A4D57}");
constexpr Guid kRecordSerie = MakeGuid("{8D44DE18-55DF-4DF0-8DDA-43862266D3E4}");
constexpr Guid kRecordLote = MakeGuid("{B9BBB2B5-4ADB-4C2B-A6C5-8CA972A19CDF}");
constexpr Guid kRecordEncabezado = MakeGuid("{AAF45790-D059-45AE-BFFF-810475E1AF48}");
constexpr Guid kRecordDetalle = MakeGuid("{A2C77E32-82A7-472F-B6D0-E14971F7B8D9}");

enum class MemberKind { PropertyGet, PropertyLet, Sub, Function };

// What a member takes or gives back.
enum class ValueType { None, String, Boolean, Encabezado, Detalle };

struct Member {
  int order;                // 1-based position in the interface
  std::string_view name;
  MemberKind kind;
  com::DISPID dispid;       // shared by the read and the write of a property
  std::string_view param;   // parameter name ("" when none)
  ValueType param_type;
  ValueType result;
};

// Dispatch identifiers: numbered by first appearance in interface order.
namespace dispid {
constexpr com::DISPID Error = 1;
constexpr com::DISPID Encabezado = 2;
constexpr com::DISPID Inventario_Pendiente = 3;
constexpr com::DISPID Detalle = 4;
constexpr com::DISPID Nuevo = 5;
constexpr com::DISPID Add_Transferencia_Detalle = 6;
constexpr com::DISPID Cancelar_Transferencia = 7;
constexpr com::DISPID Genera_Requisicion_Pedido = 8;
constexpr com::DISPID Done = 9;
constexpr com::DISPID Finalizar_Transferencia = 10;
constexpr com::DISPID Generar_CFDI_Traslado = 11;
constexpr com::DISPID MostrarMensajeError = 12;
}  // namespace dispid

inline constexpr Member kMembers[] = {
    {1, "Error", MemberKind::PropertyGet, dispid::Error, "", ValueType::None, ValueType::String},
    {2, "Encabezado", MemberKind::PropertyGet, dispid::Encabezado, "", ValueType::None,
     ValueType::Encabezado},
    {3, "Inventario_Pendiente", MemberKind::PropertyLet, dispid::Inventario_Pendiente, "Valor",
     ValueType::Boolean, ValueType::None},
    {4, "Inventario_Pendiente", MemberKind::PropertyGet, dispid::Inventario_Pendiente, "",
     ValueType::None, ValueType::Boolean},
    {5, "Encabezado", MemberKind::PropertyLet, dispid::Encabezado, "Valor", ValueType::Encabezado,
     ValueType::None},
    {6, "Detalle", MemberKind::PropertyGet, dispid::Detalle, "", ValueType::None,
     ValueType::Detalle},
    {7, "Detalle", MemberKind::PropertyLet, dispid::Detalle, "Valor", ValueType::Detalle,
     ValueType::None},
    {8, "Nuevo", MemberKind::Sub, dispid::Nuevo, "", ValueType::None, ValueType::None},
    {9, "Add_Transferencia_Detalle", MemberKind::Function, dispid::Add_Transferencia_Detalle, "",
     ValueType::None, ValueType::Boolean},
    {10, "Cancelar_Transferencia", MemberKind::Function, dispid::Cancelar_Transferencia,
     "Tr_Folio", ValueType::String, ValueType::Boolean},
    {11, "Genera_Requisicion_Pedido", MemberKind::Function, dispid::Genera_Requisicion_Pedido,
     "Pd_Folio", ValueType::String, ValueType::Boolean},
    {12, "Done", MemberKind::Sub, dispid::Done, "", ValueType::None, ValueType::None},
    {13, "Finalizar_Transferencia", MemberKind::Function, dispid::Finalizar_Transferencia,
     "Tr_Folio", ValueType::String, ValueType::Boolean},
    {14, "Generar_CFDI_Traslado", MemberKind::Function, dispid::Generar_CFDI_Traslado, "Folio",
     ValueType::String, ValueType::Boolean},
    {15, "MostrarMensajeError", MemberKind::PropertyLet, dispid::MostrarMensajeError, "Valor",
     ValueType::Boolean, ValueType::None},
    {16, "MostrarMensajeError", MemberKind::PropertyGet, dispid::MostrarMensajeError, "",
     ValueType::None, ValueType::Boolean},
};

// The identifier of a member name, compared without regard to case;
// DISPID_UNKNOWN when there is none.
com::DISPID FindDispId(std::string_view name);
// The table row of a dispatch identifier and kind (nullptr when none).
const Member* FindMember(com::DISPID id, MemberKind kind);

}  // namespace qbx::iface
