// Object state, creation and release, Encabezado and Nuevo.
#include "transfer/transferencia.h"

#include "transfer/publico.h"

namespace qbx {

Transferencia::Transferencia() : module_(ModuleState()) {
  stock_ = com::Create<IInventoryServices>(kClsidInventoryServices);
  receipt_ = com::Create<IInventoryServices>(kClsidInventoryServices);
  issue_ = com::Create<IInventoryServices>(kClsidInventoryServices);
}

Transferencia::~Transferencia() {
  stock_.Reset();
  receipt_.Reset();
  issue_.Reset();
}

// No error trap: a failing service call reaches the client, and what was
// changed before it stays changed.
void Transferencia::SetEncabezado(const tTrEncabezado& Valor) {
  // Once the document has its folio the header is fixed.
  if (!header_.Tr_Folio.empty()) return;

  branch_server_id_ = module_.data->Obtener_Valor_Campo(
      "Sucursal", "Sc_Cve_Sucursal", Valor.Sucursal.Sc_Cve_Sucursal, "Sc_Servidor_Id", 0, "", "",
      "");

  header_.Tr_Fecha = Valor.Tr_Fecha;
  header_.Tr_Fecha_Entrega = Valor.Tr_Fecha_Entrega;
  header_.Tr_Tipo = Valor.Tr_Tipo;
  header_.Tr_Tabla = Valor.Tr_Tabla;
  header_.Tr_Documento = Valor.Tr_Documento;
  header_.Tr_Referencia = Valor.Tr_Referencia;
  header_.Tr_Comentario = Valor.Tr_Comentario;
  header_.Sucursal.Sc_Cve_Sucursal = Valor.Sucursal.Sc_Cve_Sucursal;
  header_.Sucursal_Recibe.Sc_Cve_Sucursal = Valor.Sucursal_Recibe.Sc_Cve_Sucursal;
  header_.Almacen.Al_Cve_Almacen = Valor.Almacen.Al_Cve_Almacen;
  header_.Almacen_Recibe.Al_Cve_Almacen = Valor.Almacen_Recibe.Al_Cve_Almacen;
  header_.GeneraOC = Valor.GeneraOC;

  const std::string& branch = header_.Sucursal.Sc_Cve_Sucursal;
  const std::string& warehouse = header_.Almacen.Al_Cve_Almacen;
  usa_tallas_ = stock_->Maneja_Talla(branch, warehouse);
  usa_colores_ = stock_->Maneja_Color(branch, warehouse);
  usa_lotes_ = stock_->Maneja_Lote(branch, warehouse);
  usa_series_ = stock_->Maneja_Serie(branch, warehouse);
}

void Transferencia::Nuevo() {
  header_.Tr_Folio.clear();
  header_.Tr_Fecha = module_.data->Obtener_Fecha_Servidor();
  header_.Tr_Fecha_Entrega = module_.data->Obtener_Fecha_Servidor();
  header_.Sucursal.Sc_Cve_Sucursal.clear();
  header_.Sucursal_Recibe.Sc_Cve_Sucursal.clear();
  header_.Sucursal.Sc_Centro_Costo.clear();
  header_.Sucursal.Sc_Cuenta_Contable.clear();
  header_.Almacen.Sc_Cve_Sucursal.clear();
  header_.Almacen.Al_Cve_Almacen.clear();
  header_.Almacen.Al_Centro_Costo.clear();
  header_.Almacen.Al_Cuenta_Contable.clear();
  header_.Tr_Tabla.clear();
  header_.Tr_Documento.clear();
  header_.Tr_Referencia.clear();
  header_.Tr_Comentario.clear();
  header_.Tr_Tipo.clear();
  header_.GeneraOC = false;
  inventario_pendiente_ = false;
}

}  // namespace qbx
