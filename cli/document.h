// The capture document: one transfer as JSON, with the fields of the
// component's records by their own names.
//
//   {"Encabezado": {...tTrEncabezado fields, nested records as objects...},
//    "Detalles": [{...tTrDetalle fields...}, ...],
//    "Inventario_Pendiente": false,            (optional)
//    "Clave": "..."}                           (optional retry key)
//
// Texts are JSON strings, numbers JSON numbers, flags JSON booleans, dates
// ISO 8601 strings ("2024-03-05", "2024-03-05T14:30:00"). The opaque UserDef
// of the records is not part of the document. An unknown field or a value of
// the wrong type is refused with a message naming the field's path
// ("Detalles[2].Producto.Pr_Cve_Producto").
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.h"

namespace qbx::cli {

class DocumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CaptureDocument {
 public:
  // Parses and checks the whole document. Raises DocumentError.
  static CaptureDocument Parse(std::string_view text);

  // Writes the header fields the document gives over `header`; the others
  // keep their values (a client reads the header after Nuevo, so the dates
  // Nuevo set stay unless the document gives its own).
  void ApplyEncabezado(tTrEncabezado& header) const;
  size_t LineCount() const { return lines_.size(); }
  // Line i (0-based) as a fresh record.
  tTrDetalle Detalle(size_t i) const;
  std::optional<bool> InventarioPendiente() const { return inventario_pendiente_; }
  // The retry key ("Clave"); nullopt when the document has none.
  const std::optional<std::string>& Key() const { return key_; }
  // The header's and line i's fields as the document gives them (what the
  // checks of cli/checks.h look at: only what is given).
  const nlohmann::json& HeaderFields() const { return header_; }
  const nlohmann::json& LineFields(size_t i) const { return lines_.at(i); }
  // SHA-256 of the document without its key, in a canonical form.
  const std::string& Digest() const { return digest_; }

 private:
  nlohmann::json header_;
  std::vector<nlohmann::json> lines_;
  std::optional<bool> inventario_pendiente_;
  std::optional<std::string> key_;
  std::string digest_;
};

}  // namespace qbx::cli
