// How journals and traces write the records the contracts pass (the values
// themselves: automation's ValueText). The journal shows every field a test
// may check; the trace keeps to what a person follows: no comment, no second
// cost, a serial and a lot only when there is one.
#pragma once

#include <string>
#include <string_view>

#include "automation/value.h"
#include "services/inventory_services.h"

namespace qbx {

namespace detail {

// "{Name=value, ...}"
class FieldTexts {
 public:
  explicit FieldTexts(ValueStyle style) : style_(style) {}
  template <class T>
  FieldTexts& Add(std::string_view name, const T& value) {
    text_ += text_.size() > 1 ? ", " : "";
    text_.append(name).append("=").append(ValueText(value, style_));
    return *this;
  }
  std::string Close() && { return std::move(text_) + "}"; }

 private:
  ValueStyle style_;
  std::string text_ = "{";
};

}  // namespace detail

inline std::string ValueText(const MovementHeader& h, ValueStyle style) {
  detail::FieldTexts f(style);
  f.Add("Folio", h.Folio).Add("Fecha", h.Fecha).Add("Tabla", h.Tabla);
  f.Add("Documento", h.Documento).Add("Referencia", h.Referencia);
  if (style == ValueStyle::kJournal) f.Add("Comentario", h.Comentario);
  f.Add("Sucursal", h.Sucursal).Add("Almacen", h.Almacen);
  f.Add("Tipo_Movimiento", h.Tipo_Movimiento);
  return std::move(f).Close();
}

inline std::string ValueText(const MovementLine& l, ValueStyle style) {
  detail::FieldTexts f(style);
  f.Add("Producto", l.Producto).Add("Talla", l.Talla).Add("Color", l.Color);
  f.Add("Cantidad_1", l.Cantidad_1).Add("Unidad_1", l.Unidad_1);
  f.Add("Cantidad_2", l.Cantidad_2).Add("Unidad_2", l.Unidad_2).Add("Costo", l.Costo);
  if (style == ValueStyle::kJournal) {
    f.Add("Costo_2", l.Costo_2).Add("Serie", l.Serie.Serie).Add("Pedimento", l.Serie.Pedimento);
    f.Add("Fecha_Pedimento", l.Serie.Fecha_Pedimento).Add("Lote", l.Lote.Lote);
  } else {
    if (!l.Serie.Serie.empty()) f.Add("Serie", l.Serie.Serie);
    if (!l.Lote.Lote.empty()) f.Add("Lote", l.Lote.Lote);
  }
  return std::move(f).Close();
}

}  // namespace qbx
