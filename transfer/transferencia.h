// Class Transferencia: one transfer document being captured or worked on.
//
// Apartment-threaded: an object is used only on the thread that created it.
// Boolean operations never raise: they return False and leave the reason in
// Error(). The write of Encabezado, Nuevo and construction (start-up, service
// creation) raise qbx::RuntimeError to the caller.
#pragma once

#include <cstdint>
#include <string>

#include "automation/com.h"
#include "records/records.h"
#include "services/inventory_services.h"

namespace qbx {

struct Publico;

class Transferencia {
 public:
  // Runs the apartment's start-up if needed, then creates the stock, receipt
  // movement and issue movement objects, in this order.
  Transferencia();
  // Releases the stock, receipt movement and issue movement objects, in order.
  ~Transferencia();
  Transferencia(const Transferencia&) = delete;
  Transferencia& operator=(const Transferencia&) = delete;

  // --- properties ---
  std::string Error() const { return error_; }
  tTrEncabezado Encabezado() const { return header_; }
  void SetEncabezado(const tTrEncabezado& Valor);
  bool Inventario_Pendiente() const { return inventario_pendiente_; }
  void SetInventario_Pendiente(bool Valor) { inventario_pendiente_ = Valor; }
  tTrDetalle Detalle() const { return detail_; }
  void SetDetalle(const tTrDetalle& Valor);
  bool MostrarMensajeError() const { return mostrar_mensajes_; }
  void SetMostrarMensajeError(bool Valor) { mostrar_mensajes_ = Valor; }

  // --- members ---
  void Nuevo();
  bool Add_Transferencia_Detalle();
  bool Cancelar_Transferencia(std::string& Tr_Folio);
  bool Genera_Requisicion_Pedido(std::string& Pd_Folio);
  void Done() {}
  bool Finalizar_Transferencia(std::string& Tr_Folio);
  bool Generar_CFDI_Traslado(std::string& Folio);

 private:
  bool Graba_Movimiento();
  bool Inserta_Transferencia();
  bool Finaliza_Movimiento();
  // Steps of Add_Transferencia_Detalle; those answering bool leave a refusal
  // in Error(). OpenDocument runs on the first line of a folio only.
  bool OpenDocument();
  void StartMovements();
  bool CheckLine();
  // Refusal of a Detalle write (shown or stored as MostrarMensajeError says).
  void RefuseDetalle(const std::string& key, const std::string& message);

  Publico& module_;
  tTrEncabezado header_;
  tTrDetalle detail_;
  std::string error_;
  std::string timestamp_;  // server date-time of the current operation, as SQL text
  bool usa_tallas_ = false;
  bool usa_colores_ = false;
  bool usa_lotes_ = false;
  bool usa_series_ = false;
  MovementHeader mov_header_;
  MovementLine mov_line_;
  com::ComPtr<IInventoryServices> receipt_;
  com::ComPtr<IInventoryServices> issue_;
  MovementLot mov_lot_;
  MovementSerial mov_serial_;
  com::ComPtr<IInventoryServices> stock_;
  int16_t line_counter_ = 0;
  std::string branch_server_id_;
  bool inventario_pendiente_ = false;
  bool mostrar_mensajes_ = true;
};

}  // namespace qbx
