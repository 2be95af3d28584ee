#include "cli/document.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <span>

#include "automation/value.h"
#include "cli/digest.h"
#include "cli/i18n.h"

namespace qbx::cli {
namespace {

using nlohmann::json;

const char* KindOf(const json& v) {
  switch (v.type()) {
    case json::value_t::null:
      return N_("null");
    case json::value_t::boolean:
      return N_("a boolean");
    case json::value_t::string:
      return N_("a text");
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return N_("a number");
    case json::value_t::object:
      return N_("an object");
    case json::value_t::array:
      return N_("a list");
    default:
      return N_("an unsupported value");
  }
}

[[noreturn]] void WrongType(const std::string& path, std::string_view expected, const json& v) {
  throw DocumentError((path.empty() ? "" : path + ": ") +
                      Format(_("expected {0}, not {1}"), {_(expected), _(KindOf(v))}));
}

std::string Join(const std::string& path, std::string_view name) {
  return path.empty() ? std::string(name) : path + "." + std::string(name);
}

template <class R>
struct Field {
  std::string_view name;
  void (*read)(const json& value, R& record, const std::string& path);
};

template <class T>
struct MemberOf;
template <class R, class V>
struct MemberOf<V R::*> {
  using Record = R;
  using Value = V;
};

template <class R>
std::span<const Field<R>> FieldsOf();

template <class R>
void ReadRecord(const json& v, R& record, const std::string& path);

// The component and the database would cut a text at a NUL, or keep it and
// compare it wrongly; neither is what the person wrote.
std::string ReadText(const json& v, const std::string& path, std::string_view expected) {
  if (!v.is_string()) WrongType(path, expected, v);
  std::string text = v.get<std::string>();
  if (text.find('\0') != std::string::npos)
    throw DocumentError(path + _(": a text may not contain a NUL character (\\u0000)"));
  return text;
}

template <class V>
V ReadValue(const json& v, const std::string& path) {
  if constexpr (std::is_same_v<V, std::string>) {
    return ReadText(v, path, N_("a text"));
  } else if constexpr (std::is_same_v<V, double>) {
    if (!v.is_number()) WrongType(path, N_("a number"), v);
    return v.get<double>();
  } else if constexpr (std::is_same_v<V, bool>) {
    if (!v.is_boolean()) WrongType(path, N_("true or false"), v);
    return v.get<bool>();
  } else if constexpr (std::is_same_v<V, Date>) {
    const std::string text = ReadText(v, path, N_("an ISO 8601 date text"));
    // Refused rather than converted: the suite keeps local dates without a
    // zone, and a conversion needs the zone of the suite's clock, which the
    // tool does not know; a wrong one would move the document to another day.
    if (const size_t zone = text.size() > 11 ? text.find_first_of("Zz+-", 11) : std::string::npos;
        zone != std::string::npos)
      throw DocumentError(
          Format(_("{0}: \"{1}\" carries a time zone ({2}), which is refused: dates are the "
                   "suite's local time, without a zone; write \"{3}\" in that time"),
                 {path, text, text.substr(zone), text.substr(0, zone)}));
    try {
      return Date::Parse(text);
    } catch (const RuntimeError&) {
      throw DocumentError(path + Format(_(": not an ISO 8601 date (yyyy-mm-dd or "
                                          "yyyy-mm-ddThh:mm:ss): \"{0}\""),
                                        {text}));
    }
  } else {
    V record;
    ReadRecord(v, record, path);
    return record;
  }
}

template <auto M>
void Set(const json& v, typename MemberOf<decltype(M)>::Record& record, const std::string& path) {
  record.*M = ReadValue<typename MemberOf<decltype(M)>::Value>(v, path);
}

// Nested records are read over the value they already hold, so a document
// that names one field of a sub-record keeps the others.
template <auto M>
void SetNested(const json& v, typename MemberOf<decltype(M)>::Record& record,
               const std::string& path) {
  ReadRecord(v, record.*M, path);
}

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && InStrNoCase(a, b) == 1;
}

template <class R>
void ReadRecord(const json& v, R& record, const std::string& path) {
  if (!v.is_object()) WrongType(path, N_("an object"), v);
  const auto fields = FieldsOf<R>();
  for (const auto& [name, value] : v.items()) {
    const Field<R>* field = nullptr;
    for (const Field<R>& f : fields) {
      if (f.name == name) field = &f;
    }
    const std::string here = Join(path, name);
    if (!field) {
      for (const Field<R>& f : fields) {
        if (SameNoCase(f.name, name))
          throw DocumentError(Format(_("{0}: unknown field (did you mean {1}?)"), {here, f.name}));
      }
      throw DocumentError(Format(_("{0}: unknown field"), {here}));
    }
    field->read(value, record, here);
  }
}

template <>
std::span<const Field<tTrSucursal>> FieldsOf() {
  static constexpr Field<tTrSucursal> kFields[] = {
      {"Sc_Cve_Sucursal", &Set<&tTrSucursal::Sc_Cve_Sucursal>},
      {"Sc_Centro_Costo", &Set<&tTrSucursal::Sc_Centro_Costo>},
      {"Sc_Cuenta_Contable", &Set<&tTrSucursal::Sc_Cuenta_Contable>},
  };
  return kFields;
}

template <>
std::span<const Field<tTrAlmacen>> FieldsOf() {
  static constexpr Field<tTrAlmacen> kFields[] = {
      {"Sc_Cve_Sucursal", &Set<&tTrAlmacen::Sc_Cve_Sucursal>},
      {"Al_Cve_Almacen", &Set<&tTrAlmacen::Al_Cve_Almacen>},
      {"Al_Centro_Costo", &Set<&tTrAlmacen::Al_Centro_Costo>},
      {"Al_Cuenta_Contable", &Set<&tTrAlmacen::Al_Cuenta_Contable>},
  };
  return kFields;
}

template <>
std::span<const Field<tTrProducto>> FieldsOf() {
  static constexpr Field<tTrProducto> kFields[] = {
      {"Pr_Cve_Producto", &Set<&tTrProducto::Pr_Cve_Producto>},
      {"Pr_Cuenta_Contable", &Set<&tTrProducto::Pr_Cuenta_Contable>},
      {"Pr_Unidad_Control_1", &Set<&tTrProducto::Pr_Unidad_Control_1>},
      {"Pr_Unidad_Control_2", &Set<&tTrProducto::Pr_Unidad_Control_2>},
      {"Pr_Unidad_Costo", &Set<&tTrProducto::Pr_Unidad_Costo>},
      {"Pr_Porcentaje_Variacion", &Set<&tTrProducto::Pr_Porcentaje_Variacion>},
      {"Pr_Tipo_Producto", &Set<&tTrProducto::Pr_Tipo_Producto>},
      {"Pr_Tipo_Costeo", &Set<&tTrProducto::Pr_Tipo_Costeo>},
      {"Ct_Cve_Categoria", &Set<&tTrProducto::Ct_Cve_Categoria>},
      {"Dp_Cve_Departamento", &Set<&tTrProducto::Dp_Cve_Departamento>},
      {"Mr_Cve_Marca", &Set<&tTrProducto::Mr_Cve_Marca>},
      {"Ln_Cve_Linea", &Set<&tTrProducto::Ln_Cve_Linea>},
      {"Fm_Cve_Familia", &Set<&tTrProducto::Fm_Cve_Familia>},
      {"Sf_Cve_SubFamilia", &Set<&tTrProducto::Sf_Cve_SubFamilia>},
  };
  return kFields;
}

template <>
std::span<const Field<tTrSerie>> FieldsOf() {
  static constexpr Field<tTrSerie> kFields[] = {
      {"Sr_Cve_Serie", &Set<&tTrSerie::Sr_Cve_Serie>},
      {"Sr_Pedimento", &Set<&tTrSerie::Sr_Pedimento>},
      {"Sr_FechaPedimento", &Set<&tTrSerie::Sr_FechaPedimento>},
  };
  return kFields;
}

template <>
std::span<const Field<tTrLote>> FieldsOf() {
  static constexpr Field<tTrLote> kFields[] = {
      {"Lt_Cve_Lote", &Set<&tTrLote::Lt_Cve_Lote>},
      {"Lt_Fecha_Caducidad", &Set<&tTrLote::Lt_Fecha_Caducidad>},
      {"Lt_Pedimento", &Set<&tTrLote::Lt_Pedimento>},
      {"Lt_Fecha_Pedimento", &Set<&tTrLote::Lt_Fecha_Pedimento>},
  };
  return kFields;
}

template <>
std::span<const Field<tTrEncabezado>> FieldsOf() {
  using H = tTrEncabezado;
  static constexpr Field<H> kFields[] = {
      {"Tr_Folio", &Set<&H::Tr_Folio>},
      {"Tr_Fecha", &Set<&H::Tr_Fecha>},
      {"Tr_Fecha_Entrega", &Set<&H::Tr_Fecha_Entrega>},
      {"Tr_Sucursal_Recibe", &Set<&H::Tr_Sucursal_Recibe>},
      {"Tr_Tipo", &Set<&H::Tr_Tipo>},
      {"Tr_Tabla", &Set<&H::Tr_Tabla>},
      {"Tr_Documento", &Set<&H::Tr_Documento>},
      {"Tr_Referencia", &Set<&H::Tr_Referencia>},
      {"Tr_Comentario", &Set<&H::Tr_Comentario>},
      {"Tr_Descuento_Global_Cuenta_Contable", &Set<&H::Tr_Descuento_Global_Cuenta_Contable>},
      {"Tr_Descuento_Global_Factor", &Set<&H::Tr_Descuento_Global_Factor>},
      {"Tr_Descuento_Global_Importe", &Set<&H::Tr_Descuento_Global_Importe>},
      {"Sucursal", &SetNested<&H::Sucursal>},
      {"Sucursal_Recibe", &SetNested<&H::Sucursal_Recibe>},
      {"Almacen", &SetNested<&H::Almacen>},
      {"Almacen_Recibe", &SetNested<&H::Almacen_Recibe>},
      {"GeneraOC", &Set<&H::GeneraOC>},
  };
  return kFields;
}

template <>
std::span<const Field<tTrDetalle>> FieldsOf() {
  using D = tTrDetalle;
  static constexpr Field<D> kFields[] = {
      {"Tr_ID", &Set<&D::Tr_ID>},
      {"Producto", &SetNested<&D::Producto>},
      {"Tl_Cve_Talla", &Set<&D::Tl_Cve_Talla>},
      {"Cl_Cve_Color", &Set<&D::Cl_Cve_Color>},
      {"Tr_Cantidad_1", &Set<&D::Tr_Cantidad_1>},
      {"Tr_Unidad_1", &Set<&D::Tr_Unidad_1>},
      {"Tr_Cantidad_Control_1", &Set<&D::Tr_Cantidad_Control_1>},
      {"Tr_Unidad_Control_1", &Set<&D::Tr_Unidad_Control_1>},
      {"Tr_Cantidad_Control_2", &Set<&D::Tr_Cantidad_Control_2>},
      {"Tr_Unidad_Control_2", &Set<&D::Tr_Unidad_Control_2>},
      {"Tr_Cantidad_Costo", &Set<&D::Tr_Cantidad_Costo>},
      {"Tr_Unidad_Costo", &Set<&D::Tr_Unidad_Costo>},
      {"Tr_Costo", &Set<&D::Tr_Costo>},
      {"Tr_Importe_Costo", &Set<&D::Tr_Importe_Costo>},
      {"Tr_Indirecto_Factor", &Set<&D::Tr_Indirecto_Factor>},
      {"Tr_Indirecto_Importe", &Set<&D::Tr_Indirecto_Importe>},
      {"Serie", &SetNested<&D::Serie>},
      {"Lote", &SetNested<&D::Lote>},
  };
  return kFields;
}

// Lines are named as the capture names them: by number, from 1.
tTrDetalle ReadLine(const json& v, size_t i) {
  tTrDetalle line;
  try {
    ReadRecord(v, line, "");
  } catch (const DocumentError& e) {
    throw DocumentError(Format(_("Detalles, line {0}: "), {i + 1}) + e.what());
  }
  return line;
}

// The parser refuses a number beyond the range of a double without saying
// where it was, and keeps the last of two equal keys without a word. Parsing
// with this, which follows the keys and positions down to where the parser
// stopped, names the field.
class PathAtError final : public json::json_sax_t {
 public:
  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(json::number_integer_t) override { return Value(); }
  bool number_unsigned(json::number_unsigned_t) override { return Value(); }
  bool number_float(json::number_float_t, const json::string_t&) override { return Value(); }
  bool string(json::string_t&) override { return Value(); }
  bool binary(json::binary_t&) override { return Value(); }
  bool start_object(std::size_t) override {
    frames_.push_back({true, "", 0});
    return true;
  }
  bool key(json::string_t& name) override {
    frames_.back().key = name;
    if (!frames_.back().keys.insert(name).second) {
      duplicate_ = true;
      return false;
    }
    return true;
  }
  bool end_object() override {
    frames_.pop_back();
    return Value();
  }
  bool start_array(std::size_t) override {
    frames_.push_back({false, "", 0});
    return true;
  }
  bool end_array() override {
    frames_.pop_back();
    return Value();
  }
  bool parse_error(std::size_t, const std::string& token, const json::exception&) override {
    token_ = token;
    return false;
  }

  const std::string& token() const { return token_; }
  // The parse stopped at a key its object already had.
  bool duplicate() const { return duplicate_; }
  // As the other refusals name a field: "Detalles, line 3: Lote.X".
  std::string Path() const {
    std::string path;
    size_t from = 0;
    if (frames_.size() >= 3 && frames_[1].key == "Detalles" && !frames_[2].object) {
      path = Format(_("Detalles, line {0}: "), {frames_[2].index + 1});
      from = 3;
    }
    std::string rest;
    for (size_t i = std::max<size_t>(from, 1); i < frames_.size(); ++i) {
      rest = frames_[i].object ? Join(rest, frames_[i].key)
                               : rest + "[" + std::to_string(frames_[i].index) + "]";
    }
    return path + (rest.empty() ? std::string(_("the document")) : rest);
  }

 private:
  struct Frame {
    bool object;
    std::string key;
    size_t index;  // of the element being read, in a list
    std::set<std::string> keys{};  // of an object, so far
  };
  bool Value() {
    if (!frames_.empty() && !frames_.back().object) ++frames_.back().index;
    return true;
  }
  // Frame 0 stands for the outside of the document, so the root is frame 1.
  std::vector<Frame> frames_{{true, "", 0}};
  std::string token_;
  bool duplicate_ = false;
};

[[noreturn]] void NumberOutOfRange(std::string_view text) {
  PathAtError where;
  json::sax_parse(text, &where);
  std::string token = where.token();
  if (token.size() > 24) token = token.substr(0, 20) + "...";
  throw DocumentError(Format(_("{0}: {1} is beyond the range of a number (at most about 1.8e308 "
                               "either side of 0)"),
                             {where.Path(), token}));
}

}  // namespace

CaptureDocument CaptureDocument::Parse(std::string_view text) {
  // The parser keeps the last of two equal keys without a word; the person
  // meant one of them. A document that is not JSON at all is left to the
  // parser's own message below.
  if (PathAtError where; !json::sax_parse(text, &where) && where.duplicate())
    throw DocumentError(Format(_("{0}: given twice in the same object (a JSON reader would keep "
                                 "only the last one); give it once"),
                               {where.Path()}));
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& e) {
    std::string what = e.what();
    // Drop the library's "[json.exception.parse_error.101] " tag.
    if (auto end = what.find("] "); what.starts_with("[json.") && end != std::string::npos)
      what = what.substr(end + 2);
    throw DocumentError(Format(_("not a valid JSON document: {0}"), {what}));
  } catch (const json::out_of_range&) {
    NumberOutOfRange(text);
  }
  if (!root.is_object()) WrongType(_("the document"), N_("an object"), root);

  CaptureDocument doc;
  bool has_header = false, has_lines = false;
  for (const auto& [name, value] : root.items()) {
    if (name == "Encabezado") {
      tTrEncabezado check;
      ReadRecord(value, check, "Encabezado");
      // The component finalises only these three, and says nothing of others.
      if (!value.contains("Tr_Tipo"))
        throw DocumentError(_("Encabezado.Tr_Tipo: missing (SL, EN or RC)"));
      if (check.Tr_Tipo != "SL" && check.Tr_Tipo != "EN" && check.Tr_Tipo != "RC")
        throw DocumentError(Format(_("Encabezado.Tr_Tipo: \"{0}\" is not a transfer type (SL "
                                     "request, EN shipment or RC reception)"),
                                   {check.Tr_Tipo}));
      doc.header_ = value;
      has_header = true;
    } else if (name == "Detalles") {
      if (!value.is_array()) WrongType("Detalles", N_("a list of lines"), value);
      // The component numbers lines with a 16-bit integer; the one past it
      // would fail after all the others were stored.
      constexpr size_t kMaxLines = std::numeric_limits<int16_t>::max();
      if (value.size() > kMaxLines)
        throw DocumentError(Format(_("Detalles, line {0}: "), {kMaxLines + 1}) +
                            Format(_("a transfer holds at most {0} lines (this document has {1})"),
                                   {kMaxLines, value.size()}));
      for (size_t i = 0; i < value.size(); ++i) {
        ReadLine(value[i], i);
        doc.lines_.push_back(value[i]);
      }
      has_lines = true;
    } else if (name == "Inventario_Pendiente") {
      doc.inventario_pendiente_ = ReadValue<bool>(value, "Inventario_Pendiente");
    } else if (name == "Clave") {
      doc.key_ = ReadValue<std::string>(value, "Clave");
      if (doc.key_->empty()) throw DocumentError(_("Clave: an empty key"));
    } else {
      throw DocumentError(name + _(": unknown field (a document has Encabezado, Detalles, "
                                   "Inventario_Pendiente and Clave)"));
    }
  }
  // The key names the request, so it is not part of what it requests. Keys of
  // a parsed object are sorted: the same document written in another order
  // or spacing has the same digest.
  root.erase("Clave");
  doc.digest_ = Sha256Hex(root.dump());
  if (!has_header) throw DocumentError(_("Encabezado: missing"));
  if (!has_lines) throw DocumentError(_("Detalles: missing"));
  if (doc.lines_.empty()) throw DocumentError(_("Detalles: the document has no lines"));
  return doc;
}

void CaptureDocument::ApplyEncabezado(tTrEncabezado& header) const {
  ReadRecord(header_, header, "Encabezado");
}

tTrDetalle CaptureDocument::Detalle(size_t i) const {
  return ReadLine(lines_.at(i), i);
}

}  // namespace qbx::cli
