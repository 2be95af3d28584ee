// Capture tests: a scripted catalogue on top of the transfer fixture, and the
// texts that several capture tests compare against.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/transfer/fixture.h"

namespace qbx::test {

inline constexpr const char* kInsertColumns =
    "INSERT INTO Transferencia (Tr_Folio, Tr_ID, Tr_Fecha, Tr_Fecha_Entrega, Tr_Tipo, "
    "Tr_Referencia, Tr_Comentario, Tr_Tabla, Tr_Documento, Sc_Cve_Sucursal_Recibe, "
    "Sc_Cve_Sucursal, Al_Cve_Almacen, Al_Cve_Almacen_Recibe, Pr_Cve_Producto, Tl_Cve_Talla, "
    "Cl_Cve_Color, Tr_Cantidad_1, Tr_Unidad_1, Tr_Cantidad_Control_1, Tr_Unidad_Control_1, "
    "Tr_Cantidad_Control_2, Tr_Unidad_Control_2, Tr_Cantidad_Costo, Tr_Unidad_Costo, Tr_Costo, "
    "Tr_Importe_Costo, Tr_Indirecto_Factor, Tr_Indirecto_Importe, Lt_Cve_Lote, "
    "Lt_Fecha_Caducidad, Lt_Pedimento, Lt_Fecha_Pedimento, Oper_Alta, Fecha_Alta, "
    "Oper_Ult_Modif, Fecha_Ult_Modif) VALUES (";

inline const std::string kAddSource = "Quelbarix.dll - Add_Transferencia_Detalle()\r\n";
inline const std::string kInsertSource = "Quelbarix.dll - Inserta_Transferencia()\r\n";

class CaptureTest : public TransferTest {
 protected:
  CaptureTest() {
    catalogue = {
        {"Almacen.Al_Descripcion", "Almacen general"}, {"Unidad.Un_Descripcion", "Pieza"},
        {"Producto.Pr_Tipo_Producto", "01"},           {"Producto.Pr_Tipo_Costeo", "P"},
        {"Producto.Pr_Unidad_Control_1", "PZA"},       {"Producto.Pr_Unidad_Control_2", "KG"},
        {"Producto.Pr_Unidad_Costo", "PZA"},
    };
    // Data.Obtener_Valor_Campo answers "Table.Column=key" first, then "Table.Column".
    suite.script.On("Data.Obtener_Valor_Campo", [this](const std::vector<Variant>& a) {
      const std::string base = a[0].ToString() + "." + a[3].ToString();
      auto it = catalogue.find(base + "=" + a[2].ToString());
      if (it == catalogue.end()) it = catalogue.find(base);
      return Variant(it == catalogue.end() ? std::string() : it->second);
    });
    suite.script.Answer("Data.Obtener_Folio", "F-1");
    suite.script.Answer("Inventory#3.Obtener_Costo_Detalle", "7.5");
  }

  void InTransit(bool on) { suite.Parameter("MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO", on); }

  // The object with a header of the type written.
  Transferencia& Start(const std::string& tipo) {
    Transferencia& t = Object();
    t.SetEncabezado(Header(tipo));
    return t;
  }

  // Writes the line and adds it; a refused Detalle write fails the test.
  bool AddLine(const tTrDetalle& line) {
    Transferencia& t = Object();
    t.SetMostrarMensajeError(false);
    t.SetDetalle(line);
    EXPECT_EQ(t.Error(), "");
    return t.Add_Transferencia_Detalle();
  }

  // The INSERT statements run so far.
  std::vector<std::string> Inserts() const {
    std::vector<std::string> out;
    for (const auto& s : suite.Statements())
      if (s.rfind("INSERT INTO Transferencia", 0) == 0) out.push_back(s);
    return out;
  }

  std::map<std::string, std::string> catalogue;
};

}  // namespace qbx::test
