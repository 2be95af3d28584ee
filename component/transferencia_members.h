// The early-bound members of _Transferencia, listed once for the two sides
// that forward them: the server object over a qbx::Transferencia
// (component/server.cpp) and the client handle (component/transferencia_client.*).
// Each generated member overrides records/itransferencia.h, so the list and
// the interface cannot drift apart. Kinds:
//   GET(T, Name)        get_Name(T* result)                  <- T Name()
//   PUT(T, Name)        put_Name(T* Valor)                   <- SetName(T)
//   SUB(Name)           Name()                               <- void Name()
//   FUNCTION(Name)      Name(bool* result)                   <- bool Name()
//   FOLIO(Name, Param)  Name(std::string* Param, bool* result) <- bool Name(std::string&)
#pragma once

#define QBX_TRANSFERENCIA_MEMBERS(GET, PUT, SUB, FUNCTION, FOLIO)                                  \
  GET(std::string, Error)                                                                          \
  GET(tTrEncabezado, Encabezado)                                                                   \
  PUT(tTrEncabezado, Encabezado)                                                                   \
  GET(bool, Inventario_Pendiente)                                                                  \
  PUT(bool, Inventario_Pendiente)                                                                  \
  GET(tTrDetalle, Detalle)                                                                         \
  PUT(tTrDetalle, Detalle)                                                                         \
  SUB(Nuevo)                                                                                       \
  FUNCTION(Add_Transferencia_Detalle)                                                              \
  FOLIO(Cancelar_Transferencia, Tr_Folio)                                                          \
  FOLIO(Genera_Requisicion_Pedido, Pd_Folio)                                                       \
  SUB(Done)                                                                                        \
  FOLIO(Finalizar_Transferencia, Tr_Folio)                                                         \
  FOLIO(Generar_CFDI_Traslado, Folio)                                                              \
  GET(bool, MostrarMensajeError)                                                                   \
  PUT(bool, MostrarMensajeError)
