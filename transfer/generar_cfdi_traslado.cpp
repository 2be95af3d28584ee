// Generar_CFDI_Traslado: writes the transport document of a shipment, one
// Traslado row per stored line, under a new TRASLADO folio and the next number
// of the sending branch's fiscal series.
#include <cstdint>
#include <string>
#include <string_view>

#include "automation/value.h"
#include "transfer/failure.h"
#include "transfer/publico.h"
#include "transfer/transferencia.h"

namespace qbx {

namespace {

// This operation's source line ends with a blank before the line break.
constexpr std::string_view kSource = "Quelbarix.dll - Generar_CFDI_Traslado() ";

std::string CfdiFailure(std::string_view message) {
  std::string s(kSource);
  s += kCrLf;
  s += message;
  return s;
}

// "'" + value + "', "
void AppendQuoted(std::string& sql, std::string_view value) {
  sql += "'";
  sql += SqlText(value);
  sql += "', ";
}

// A text field as it is; Null gives an empty text.
void AppendQuotedField(std::string& sql, IRecordset& rs, std::string_view field) {
  AppendQuoted(sql, rs.Field(field).ToStringOrEmpty());
}

// A number field without quotes; Null is a run-time error.
void AppendNumberField(std::string& sql, IRecordset& rs, std::string_view field) {
  sql += NumberText(rs.Field(field).ToDouble());
  sql += ", ";
}

// The shipment's stored lines with what the transport document copies.
void BuildShipmentQuery(std::string& sql, const std::string& Folio) {
  sql.clear();
  sql += "SELECT ";
  sql += "   Tr_Folio, ";
  sql += "   Tr_Id, ";
  sql += "   Tr_Fecha, ";
  sql += "   Tr_Referencia, ";
  sql += "   Tr_Comentario, ";
  sql += "   Sucursal.Sc_Cve_Sucursal, ";
  sql += "   Sucursal.Sc_Traslado_Serie,";
  sql += "   Producto.Pr_Cve_Producto, ";
  sql += "   Producto.Pr_Descripcion, ";
  sql += "   Tl_Cve_Talla, ";
  sql += "   Cl_Cve_Color, ";
  sql += "   Tr_Cantidad_1, ";
  sql += "   Tr_Unidad_1, ";
  sql += "   Tr_Cantidad_Costo, ";
  sql += "   Tr_Unidad_Costo, ";
  sql += "   Tr_Costo, ";
  sql += "   Tr_Importe_Costo ";
  sql += "FROM Transferencia ";
  sql += "   INNER JOIN Producto ON Producto.Pr_Cve_Producto = Transferencia.Pr_Cve_Producto ";
  sql += "   INNER JOIN Sucursal on Sucursal.Sc_cve_Sucursal = Transferencia.Sc_Cve_Sucursal ";
  sql += "WHERE Tr_Tipo = 'EN' AND ";
  sql += "   Tr_Folio = '";
  sql += SqlText(Folio);
  sql += "' ";
}

// What every Traslado row of one transport document shares.
struct TrasladoHeader {
  std::string folio;
  Date fecha;
  std::string serie;
  std::string numero;
  std::string factura;
};

// The INSERT of one Traslado row from the shipment line under rs. The
// outside calls for the values are made as the text is built, in column
// order.
void BuildTrasladoInsert(std::string& sql, Publico& module, const TrasladoHeader& t,
                         const std::string& id, IRecordset& rs) {
  sql.clear();
  sql += "INSERT INTO Traslado( ";
  sql += "Tr_Folio, ";
  sql += "Tr_ID, ";
  sql += "Tr_Fecha, ";
  sql += "Tr_Tabla, ";
  sql += "Tr_Documento, ";
  sql += "Tr_Documento_ID, ";
  sql += "Tr_Referencia, ";
  sql += "Tr_Comentario, ";
  sql += "Tr_Serie, ";
  sql += "Tr_Serie_Folio, ";
  sql += "Tr_Factura, ";
  sql += "Sc_Cve_Sucursal, ";
  sql += "Tr_Concepto, ";
  sql += "Pr_Cve_Producto, ";
  sql += "Tl_Cve_Talla, ";
  sql += "Cl_Cve_Color, ";
  sql += "Tr_Cantidad_1, ";
  sql += "Tr_Unidad_1, ";
  sql += "Tr_Cantidad_Costo, ";
  sql += "Tr_Unidad_Costo, ";
  sql += "Tr_Costo, ";
  sql += "Tr_Costo_Importe, ";
  sql += "Mn_Cve_Moneda, ";
  sql += "Tr_Tipo_Cambio, ";
  sql += "Oper_Alta, ";
  sql += "Fecha_Alta, ";
  sql += "Oper_Ult_Modif, ";
  sql += "Fecha_Ult_Modif ";
  sql += ")VALUES( ";
  AppendQuoted(sql, t.folio);
  AppendQuoted(sql, id);
  AppendQuoted(sql, module.data->Formatear_Fecha(t.fecha));
  sql += "'TRANSFERENCIA', ";
  AppendQuotedField(sql, rs, "Tr_Folio");
  AppendQuotedField(sql, rs, "Tr_ID");
  AppendQuotedField(sql, rs, "Tr_Referencia");
  AppendQuotedField(sql, rs, "Tr_Comentario");
  AppendQuoted(sql, t.serie);
  AppendQuoted(sql, t.numero);
  AppendQuoted(sql, t.factura);
  AppendQuotedField(sql, rs, "Sc_Cve_Sucursal");
  AppendQuoted(sql, Left(rs.Field("Pr_Descripcion").ToStringOrEmpty(), 100));
  AppendQuotedField(sql, rs, "Pr_Cve_Producto");
  AppendQuotedField(sql, rs, "Tl_Cve_Talla");
  AppendQuotedField(sql, rs, "Cl_Cve_Color");
  AppendNumberField(sql, rs, "Tr_Cantidad_1");
  AppendQuotedField(sql, rs, "Tr_Unidad_1");
  AppendNumberField(sql, rs, "Tr_Cantidad_Costo");
  AppendQuotedField(sql, rs, "Tr_Unidad_Costo");
  AppendNumberField(sql, rs, "Tr_Costo");
  AppendNumberField(sql, rs, "Tr_Importe_Costo");
  sql += "'MXN', ";
  sql += "1,";
  AppendQuoted(sql, module.system->Obtener_Usuario());
  AppendQuoted(sql, module.data->Formatear_Fecha_Hora(t.fecha));
  AppendQuoted(sql, module.system->Obtener_Usuario());
  sql += "'";
  sql += SqlText(module.data->Formatear_Fecha_Hora(t.fecha));
  sql += "' ";
  sql += ")";
}

}  // namespace

bool Transferencia::Generar_CFDI_Traslado(std::string& Folio) {
  // Error is deliberately not cleared: a success keeps an earlier text.
  try {
    std::string& sql = module_.scratch;
    BuildShipmentQuery(sql, Folio);

    com::ComPtr<IRecordset> rs = module_.system->Obtener_Conexion()->Execute(sql, Missing{}, -1);
    if (rs->Eof()) {
      error_ = CfdiFailure("La transferencia no existe o no es de tipo EN - Envío");
      return false;
    }

    const std::string serie = rs->Field("Sc_Traslado_Serie").ToString();
    const int32_t numero =
        module_.data->Obtener_Consecutivo_Serie(rs->Field("Sc_Cve_Sucursal").ToString(), serie, 4);
    const std::string numero_texto = NumberText(numero);
    // Series plus the number padded to ten characters in all; a series longer
    // than ten is an invalid repeat count (error 5).
    const std::string mascara = RepeatChar(10 - static_cast<int64_t>(Utf16Length(serie)), '0');
    const std::string factura = serie + FormatZeros(numero, mascara);

    const std::string folio_traslado =
        module_.data->Obtener_Folio(rs->Field("Sc_Cve_Sucursal").ToString(), "TRASLADO", 10, true)
            .ToString();
    const Date fecha = module_.data->Obtener_Fecha_Servidor();
    // The series number already taken is not given back.
    if (folio_traslado.empty()) {
      error_ = CfdiFailure("Error al generar el folio del traslado!");
      return false;
    }

    const TrasladoHeader traslado{folio_traslado, fecha, serie, numero_texto, factura};
    int32_t linea = 1;
    while (!rs->Eof()) {
      const std::string id = FormatZeros(linea, "0000");
      BuildTrasladoInsert(sql, module_, traslado, id, *rs);
      module_.system->Obtener_Conexion()->Execute(sql, Missing{}, -1);

      ++linea;
      rs->MoveNext();
    }
    return true;
  } catch (...) {
    RuntimeError e = CurrentRuntimeError();
    error_ = CfdiFailure(e.description());
    return false;
  }
}

}  // namespace qbx
