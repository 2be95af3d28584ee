// The transfer object: creation and release, Encabezado, Nuevo, defaults.
#include <string>
#include <vector>

#include "tests/transfer/capture.h"

namespace qbx::test {
namespace {

using ObjectTest = CaptureTest;

TEST_F(ObjectTest, CreatesStockReceiptIssueAndReleasesThemInThatOrder) {
  suite.JournalReleases(true);
  Transferencia& t = Start("EN");
  // The stock object answers the capabilities; the receipt object is started first.
  EXPECT_EQ(suite.journal.Starting("Inventory#1.Maneja").size(), 4u);
  suite.journal.Clear();
  t.SetDetalle(Line());
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  EXPECT_EQ(suite.journal.Starting("Inventory#2.Nuevo_Movimiento").size(), 1u);
  EXPECT_EQ(suite.journal.Starting("Inventory#3.Nuevo_Movimiento").size(), 1u);
  EXPECT_EQ(suite.Created("Inventory"), 3);

  suite.journal.Clear();
  ResetObject();
  EXPECT_EQ(suite.journal.Starting("Inventory"),
            (std::vector<std::string>{"Inventory#1.Release()", "Inventory#2.Release()",
                                      "Inventory#3.Release()"}));
  EXPECT_EQ(suite.Alive("Inventory"), 0);
}

TEST_F(ObjectTest, FreshObjectDefaults) {
  Transferencia& t = Object();
  EXPECT_TRUE(t.MostrarMensajeError());
  EXPECT_FALSE(t.Inventario_Pendiente());
  EXPECT_EQ(t.Error(), "");
  EXPECT_EQ(t.Encabezado(), tTrEncabezado{});
  EXPECT_EQ(t.Detalle(), tTrDetalle{});
  t.SetInventario_Pendiente(true);
  t.SetMostrarMensajeError(false);
  EXPECT_TRUE(t.Inventario_Pendiente());
  EXPECT_FALSE(t.MostrarMensajeError());
}

TEST_F(ObjectTest, EncabezadoCopiesOnlyItsFieldsAndCachesCapabilities) {
  suite.script.Answer("Inventory#1.Maneja_Talla", true);
  suite.script.Answer("Inventory#1.Maneja_Lote", true);
  Transferencia& t = Object();
  suite.journal.Clear();

  tTrEncabezado h = Header("EN");
  h.Tr_Folio = "CLIENTE";
  h.Tr_Sucursal_Recibe = "X";
  h.Tr_Descuento_Global_Factor = 3;
  h.Sucursal.Sc_Centro_Costo = "CC";
  h.Almacen_Recibe.Al_Cuenta_Contable = "CTA";
  h.Tr_Tabla = "Pedido";
  h.Tr_Documento = "PD-1";
  h.GeneraOC = true;
  t.SetEncabezado(h);

  EXPECT_EQ(
      suite.journal.entries(),
      (std::vector<std::string>{
          R"(Data.Obtener_Valor_Campo("Sucursal", "Sc_Cve_Sucursal", "S1", "Sc_Servidor_Id", 0&, "", "", ""))",
          R"(Inventory#1.Maneja_Talla("S1", "A1"))",
          R"(Inventory#1.Maneja_Color("S1", "A1"))",
          R"(Inventory#1.Maneja_Lote("S1", "A1"))",
          R"(Inventory#1.Maneja_Serie("S1", "A1"))",
      }));
  tTrEncabezado expected = Header("EN");
  expected.Tr_Tabla = "Pedido";
  expected.Tr_Documento = "PD-1";
  expected.GeneraOC = true;
  EXPECT_EQ(t.Encabezado(), expected);

  // The cached flags show in the Detalle write: sizes kept, colours blanked.
  tTrDetalle line = Line();
  line.Tl_Cve_Talla = "M";
  line.Cl_Cve_Color = "ROJO";
  t.SetDetalle(line);
  EXPECT_EQ(t.Detalle().Tl_Cve_Talla, "M");
  EXPECT_EQ(t.Detalle().Cl_Cve_Color, "00");
}

TEST_F(ObjectTest, SecondEncabezadoWinsAndFlagsFollowIt) {
  suite.script.On("Inventory#1.Maneja_Color",
                  [](const std::vector<Variant>& a) { return Variant(a[1].ToString() == "A9"); });
  Transferencia& t = Start("EN");
  tTrEncabezado second = Header("RC");
  second.Almacen.Al_Cve_Almacen = "A9";
  second.Tr_Comentario = "otro";
  t.SetEncabezado(second);
  EXPECT_EQ(t.Encabezado(), second);

  tTrDetalle line = Line();
  line.Cl_Cve_Color = "ROJO";
  t.SetDetalle(line);
  EXPECT_EQ(t.Detalle().Cl_Cve_Color, "ROJO");
}

TEST_F(ObjectTest, EncabezadoIsIgnoredOnceTheFolioIsAssigned) {
  Transferencia& t = Start("EN");
  t.SetDetalle(Line());
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  const tTrEncabezado before = t.Encabezado();
  ASSERT_EQ(before.Tr_Folio, "F-1");

  suite.journal.Clear();
  t.SetEncabezado(Header("RC"));
  EXPECT_EQ(t.Encabezado(), before);
  EXPECT_EQ(t.Error(), "");
  EXPECT_TRUE(suite.journal.entries().empty()) << suite.journal.Dump();
}

TEST_F(ObjectTest, BranchServerIdComesFromTheSendingBranch) {
  // A branch with its own server: a first line elsewhere is refused naming it.
  catalogue["Sucursal.Sc_Servidor_Id=S1"] = "SRV-7";
  suite.script.Answer("System.Obtener_Servidor_Id", "SRV-1");
  Transferencia& t = Start("EN");
  t.SetDetalle(Line());
  EXPECT_FALSE(t.Add_Transferencia_Detalle());
  EXPECT_EQ(t.Error(), kAddSource +
                           "Esta operación solo puede realizarse en el servidor con id: SRV-7\r\n"
                           "el id del servidor actual es: SRV-1");
}

TEST_F(ObjectTest, NuevoResetsTheHeaderWithFreshDates) {
  const Date first = Date::FromCalendar(2024, 4, 1, 8, 0, 0);
  const Date second = Date::FromCalendar(2024, 4, 2, 9, 0, 0);
  Transferencia& t = Start("SL");
  t.SetDetalle(Line());
  ASSERT_TRUE(t.Add_Transferencia_Detalle()) << t.Error();
  t.SetInventario_Pendiente(true);
  t.SetMostrarMensajeError(false);
  const tTrDetalle detail = t.Detalle();
  suite.script.Queue("Data.Obtener_Fecha_Servidor", {first, second});

  suite.journal.Clear();
  t.Nuevo();
  EXPECT_EQ(suite.journal.entries(), (std::vector<std::string>{"Data.Obtener_Fecha_Servidor()",
                                                               "Data.Obtener_Fecha_Servidor()"}));
  const tTrEncabezado h = t.Encabezado();
  EXPECT_EQ(h.Tr_Folio, "");
  EXPECT_EQ(h.Tr_Fecha, first);
  EXPECT_EQ(h.Tr_Fecha_Entrega, second);
  EXPECT_EQ(h.Tr_Tipo, "");
  EXPECT_EQ(h.Tr_Referencia, "");
  EXPECT_EQ(h.Tr_Comentario, "");
  EXPECT_EQ(h.Sucursal.Sc_Cve_Sucursal, "");
  EXPECT_EQ(h.Sucursal_Recibe.Sc_Cve_Sucursal, "");
  EXPECT_EQ(h.Almacen.Al_Cve_Almacen, "");
  EXPECT_EQ(h.Almacen_Recibe.Al_Cve_Almacen, "A2");  // kept
  EXPECT_FALSE(h.GeneraOC);
  EXPECT_FALSE(t.Inventario_Pendiente());
  EXPECT_FALSE(t.MostrarMensajeError());  // kept
  EXPECT_EQ(t.Detalle(), detail);         // kept

  // The header is accepted again.
  t.SetEncabezado(Header("RC"));
  EXPECT_EQ(t.Encabezado().Tr_Tipo, "RC");
}

TEST_F(ObjectTest, EncabezadoFailureReachesTheClientAndKeepsWhatChanged) {
  suite.script.Fail("Inventory#1.Maneja_Lote", RuntimeError(5000, "sin almacén"));
  Transferencia& t = Object();
  try {
    t.SetEncabezado(Header("RC"));
    ADD_FAILURE() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.description(), "sin almacén");
  }
  EXPECT_EQ(t.Encabezado().Tr_Tipo, "RC");
  EXPECT_EQ(t.Error(), "");
}

TEST_F(ObjectTest, DoneChangesNothing) {
  Transferencia& t = Start("EN");
  const tTrEncabezado h = t.Encabezado();
  suite.journal.Clear();
  t.Done();
  t.Done();
  EXPECT_EQ(t.Encabezado(), h);
  EXPECT_EQ(t.Error(), "");
  EXPECT_TRUE(suite.journal.entries().empty());
}

}  // namespace
}  // namespace qbx::test
