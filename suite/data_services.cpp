// DataServices over the suite's database.
//
// Every operation clears the last error when it starts; a False (or "")
// result leaves its reason there, and so does a run-time error on its way out.
// Values always travel as bound parameters; table and column names are
// checked against the schema before they are placed into a statement (on a
// lookup's first use, and again whenever the schema has changed: see
// NamedLookup).
#include <ctime>
#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "services/system_services.h"
#include "suite/config.h"
#include "suite/database.h"
#include "suite/dialect.h"
#include "suite/services.h"

namespace qbx::suite {
namespace {

class DataServices final : public com::Object<DataServices, IDataServices> {
 public:
  explicit DataServices(std::shared_ptr<Database> db)
      : com::Object<DataServices, IDataServices>(&SuiteModule()), db_(std::move(db)) {}

  // The first matching row, in the order rows were stored.
  std::string Obtener_Valor_Campo(const std::string& table, const std::string& key_column,
                                  const std::string& key_value, const std::string& result_column,
                                  int32_t, const std::string& key2_column,
                                  const std::string& key2_value,
                                  const std::string& excluded_state) override {
    return Operation([&] {
      std::vector<Variant> params{key_value};
      if (!key2_column.empty()) params.emplace_back(key2_value);
      if (!excluded_state.empty()) params.emplace_back(excluded_state);
      if (db_->UnitLevel() > 0) {
        if (std::optional<std::string> kept = KeptField(table, key_column, result_column,
                                                        key2_column, !excluded_state.empty(),
                                                        params))
          return *kept;
      }
      const std::string shape = Shape({"Obtener_Valor_Campo", table, key_column, result_column,
                                       key2_column, excluded_state.empty() ? "" : "excluded"});
      return FieldText(NamedLookup(shape, params, [&] {
        const std::string t = db_->ResolveTable(table);
        std::string sql = "SELECT " + QuoteIdentifier(db_->ResolveColumn(t, result_column)) +
                          " FROM " + QuoteIdentifier(t) + " WHERE " +
                          QuoteIdentifier(db_->ResolveColumn(t, key_column)) + " = ?1";
        if (!key2_column.empty())
          sql += " AND " + QuoteIdentifier(db_->ResolveColumn(t, key2_column)) + " = ?2";
        if (!excluded_state.empty()) {
          sql += " AND " + QuoteIdentifier(db_->ResolveColumn(t, "Es_Cve_Estado")) + " <> ?" +
                 std::to_string(params.size());
        }
        sql += " LIMIT 1";
        return sql;
      }));
    });
  }

  Date Obtener_Fecha_Servidor() override {
    last_error_.clear();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Date::FromCalendar(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec);
  }

  // Folio form: the branch code as the catalogue spells it, "-", and the
  // branch's number for that document kind zero-padded to `width` digits
  // (callers pass 10): "CEDIS-0000000042". Branch codes are unique, so folios
  // are unique across branches. consume False answers the next folio without
  // handing it out. Counters live in Folio and move inside BEGIN IMMEDIATE,
  // so no two threads or processes ever get the same number.
  Variant Obtener_Folio(const std::string& branch, const std::string& kind, int32_t width,
                        bool consume) override {
    return Operation([&]() -> Variant {
      if (kind.empty()) return FailText("Obtener_Folio: no se indicó el tipo de documento");
      std::string code;
      int64_t number = 0;
      db_->Transaction([&] {
        code = db_->QueryValue("SELECT Sc_Cve_Sucursal FROM Sucursal WHERE Sc_Cve_Sucursal = ?1",
                               {branch})
                   .ToStringOrEmpty();
        if (code.empty()) return;
        if (consume) {
          // Folio. names the stored figure: on a server excluded has the
          // column too, and a bare name is ambiguous.
          number = Counter(
              "INSERT INTO Folio (Sc_Cve_Sucursal, Fo_Documento, Fo_Consecutivo) "
              "VALUES (?1, ?2, 1) ON CONFLICT (Sc_Cve_Sucursal, Fo_Documento) "
              "DO UPDATE SET Fo_Consecutivo = Folio.Fo_Consecutivo + 1 RETURNING Fo_Consecutivo",
              {code, kind});
        } else {
          Variant last = db_->QueryValue(
              "SELECT Fo_Consecutivo FROM Folio WHERE Sc_Cve_Sucursal = ?1 AND Fo_Documento = ?2",
              {code, kind});
          number = (last.IsEmpty() ? 0 : static_cast<int64_t>(last.ToDouble())) + 1;
        }
      });
      if (code.empty()) return FailText("Obtener_Folio: la sucursal '" + branch + "' no existe");
      const int64_t digits = width >= 1 && width <= 18 ? width : 10;
      return code + "-" + FormatZeros(static_cast<double>(number), RepeatChar(digits, '0'));
    });
  }

  // The highest value of the column among the matching rows, read as a
  // number, plus one, in the line-number form "0001" ... "9999", "10000".
  // Tables that keep line ids (Transferencia, Traslado) have an index on
  // (folio, CAST(id AS INTEGER)), so this is one index step whatever the size
  // of the document. The two trailing arguments are not used.
  std::string Obtener_Siguiente_Id(const std::string& table, const std::string& column,
                                   const std::string& filter_column,
                                   const std::string& filter_value, const std::string&,
                                   const std::string&) override {
    return Operation([&] {
      std::vector<Variant> params;
      if (!filter_column.empty()) params.emplace_back(filter_value);
      const std::string shape = Shape({"Obtener_Siguiente_Id", table, column, filter_column});
      Variant highest = NamedLookup(shape, params, [&] {
        const std::string t = db_->ResolveTable(table);
        const std::string number =
            "CAST(" + QuoteIdentifier(db_->ResolveColumn(t, column)) + " AS INTEGER)";
        std::string sql = "SELECT " + number + " FROM " + QuoteIdentifier(t);
        if (!filter_column.empty())
          sql += " WHERE " + QuoteIdentifier(db_->ResolveColumn(t, filter_column)) + " = ?1";
        // In the collation the (folio, CAST(id AS INTEGER)) indexes declare.
        sql += " ORDER BY " + number + " " + std::string(db_->dialect().Binary()) +
               " DESC LIMIT 1";
        return sql;
      });
      const double last = highest.IsEmpty() || highest.IsNull() ? 0 : highest.ToDouble();
      return FormatZeros(last < 0 ? 1 : last + 1, "0000");
    });
  }

  // True when an open period ('AC') of the module covers the date's day. The
  // Long argument is not used.
  bool Validar_Periodo_Operativo(const Date& date, const std::string& module, int32_t) override {
    return Operation([&] {
      const std::string day = DateText(date);
      Variant open = db_->QueryValue(
          "SELECT 1 FROM Periodo_Operativo WHERE Pe_Modulo = ?1 AND Pe_Fecha_Inicio <= ?2 "
          "AND Pe_Fecha_Fin >= ?2 AND Es_Cve_Estado = 'AC' LIMIT 1",
          {module, day});
      if (!open.IsEmpty()) return true;
      return Fail("El período operativo del módulo " + module + " para la fecha " + day +
                  " está cerrado o no existe");
    });
  }

  bool Existe_Producto_Talla(const std::string& product, const std::string& size) override {
    return Operation([&] {
      if (Exists("SELECT 1 FROM Producto_Talla WHERE Pr_Cve_Producto = ?1 AND Tl_Cve_Talla = ?2 "
                 "AND Es_Cve_Estado <> 'BA'",
                 {product, size}))
        return true;
      return Fail("El producto " + product + " no existe en la talla " + size);
    });
  }

  bool Existe_Producto_Color(const std::string& product, const std::string& colour) override {
    return Operation([&] {
      if (Exists("SELECT 1 FROM Producto_Color WHERE Pr_Cve_Producto = ?1 AND Cl_Cve_Color = ?2 "
                 "AND Es_Cve_Estado <> 'BA'",
                 {product, colour}))
        return true;
      return Fail("El producto " + product + " no existe en el color " + colour);
    });
  }

  // The size and the colour must each belong to the product; when the product
  // lists its combinations, this one must be among them.
  bool Existe_Producto_Talla_Color(const std::string& product, const std::string& size,
                                   const std::string& colour) override {
    return Operation([&] {
      if (Exists("SELECT 1 WHERE EXISTS (SELECT 1 FROM Producto_Talla WHERE Pr_Cve_Producto = ?1 "
                 "AND Tl_Cve_Talla = ?2 AND Es_Cve_Estado <> 'BA') "
                 "AND EXISTS (SELECT 1 FROM Producto_Color WHERE Pr_Cve_Producto = ?1 "
                 "AND Cl_Cve_Color = ?3 AND Es_Cve_Estado <> 'BA') "
                 "AND (NOT EXISTS (SELECT 1 FROM Producto_Talla_Color WHERE Pr_Cve_Producto = ?1) "
                 "OR EXISTS (SELECT 1 FROM Producto_Talla_Color WHERE Pr_Cve_Producto = ?1 "
                 "AND Tl_Cve_Talla = ?2 AND Cl_Cve_Color = ?3 AND Es_Cve_Estado <> 'BA'))",
                 {product, size, colour}))
        return true;
      return Fail("El producto " + product + " no existe en la talla " + size + " y el color " +
                  colour);
    });
  }

  // A unit to itself is 1; otherwise the product's own factor, then the
  // generic one, then the inverse of a factor the other way round. A missing
  // factor is a run-time error.
  double Obtener_Factor_Conversion(const std::string& product, const std::string& from_unit,
                                   const std::string& to_unit) override {
    return Operation([&] {
      if (UCase(from_unit) == UCase(to_unit)) return 1.0;
      constexpr std::string_view kFactor =
          "SELECT Fc_Factor FROM Factor_Conversion WHERE Fc_Unidad_Origen = ?1 "
          "AND Fc_Unidad_Destino = ?2 AND Pr_Cve_Producto IN (?3, '') AND Es_Cve_Estado <> 'BA' "
          "ORDER BY Pr_Cve_Producto = '' LIMIT 1";
      Variant direct = db_->QueryValue(kFactor, {from_unit, to_unit, product});
      if (!direct.IsEmpty()) return direct.ToDouble();
      Variant inverse = db_->QueryValue(kFactor, {to_unit, from_unit, product});
      if (!inverse.IsEmpty()) return Divide(1.0, inverse.ToDouble());
      RaiseSuiteError("No existe factor de conversión de la unidad " + from_unit + " a la unidad " +
                      to_unit + " para el producto " + product);
    });
  }

  std::string Formatear_Fecha(const Date& date) override {
    last_error_.clear();
    return DateText(date);
  }

  std::string Formatear_Fecha_Hora(const Date& date) override {
    last_error_.clear();
    return DateTimeText(date);
  }

  std::string Obtener_Ultimo_Error() override { return last_error_; }

  // Records the document (line_id "") or line in Documento_Procesado.
  bool Procesar_Documento(const std::string& entity, const std::string& folio,
                          const std::string& line_id) override {
    return Operation([&] {
      if (entity.empty()) return Fail("Procesar_Documento: no se indicó la entidad");
      if (folio.empty()) return Fail("Procesar_Documento: no se indicó el folio de " + entity);
      db_->Run(
          "INSERT INTO Documento_Procesado (Dp_Entidad, Dp_Folio, Dp_ID, Dp_Fecha, Oper_Alta) "
          "VALUES (?1, ?2, ?3, ?4, ?5)",
          {entity, folio, line_id, DateTimeText(Obtener_Fecha_Servidor()),
           CurrentConfig().operator_code});
      return true;
    });
  }

  // Next number of the branch's fiscal series, per (branch, series), handed
  // out once. The Long argument is not used.
  int32_t Obtener_Consecutivo_Serie(std::string branch, std::string series, int32_t) override {
    return Operation([&] {
      int64_t number = 0;
      db_->Transaction([&] {
        number = Counter(
            "INSERT INTO Serie_Consecutivo (Sc_Cve_Sucursal, Se_Serie, Se_Consecutivo) "
            "VALUES (?1, ?2, 1) ON CONFLICT (Sc_Cve_Sucursal, Se_Serie) "
            "DO UPDATE SET Se_Consecutivo = Serie_Consecutivo.Se_Consecutivo + 1 "
            "RETURNING Se_Consecutivo",
            {branch, series});
      });
      return ToLong32(static_cast<double>(number));
    });
  }

  // True when a live ('CA' excluded) accounting entry of the document exists
  // in Poliza; False when the suite keeps no accounting entries.
  bool Documento_Contabilizado(const std::string& kind, const std::string& folio) override {
    return Operation([&] {
      if (!db_->HasTable("Poliza")) return false;
      return Exists(
          "SELECT 1 FROM Poliza WHERE Po_Tabla = ?1 AND Po_Documento = ?2 "
          "AND Es_Cve_Estado <> 'CA' LIMIT 1",
          {kind, folio});
    });
  }

 private:
  template <class F>
  auto Operation(F&& f) -> decltype(f()) {
    last_error_.clear();
    try {
      return f();
    } catch (const RuntimeError& e) {
      last_error_ = e.description();
      throw;
    }
  }

  bool Fail(std::string message) {
    last_error_ = std::move(message);
    return false;
  }

  Variant FailText(std::string message) {
    last_error_ = std::move(message);
    return std::string();
  }

  // The key of a lookup's shape: the names its text is built from.
  static std::string Shape(std::initializer_list<std::string_view> parts) {
    std::string key;
    for (std::string_view part : parts) {
      key += part;
      key += '\x1f';
    }
    return key;
  }

  // First column of the first row of a lookup whose text is built from table
  // and column names (Empty when there is no row).
  //
  // The names are checked against the schema (a query each) only when a
  // shape of lookup is first met; afterwards only the lookup itself is sent.
  // What is kept is the statement text, never a row, and it is never used
  // against a schema other than the current one: stepping a prepared
  // statement makes the database compile it again whenever the schema
  // changed since it was prepared, by this connection or any other, and
  // Reprepares() tells. Then, or when the lookup fails, its answer is
  // dropped and the names are checked afresh, so a table or column that no
  // longer exists is reported exactly as on first use.
  Variant NamedLookup(const std::string& shape, const std::vector<Variant>& params,
                      const std::function<std::string()>& build) {
    if (auto it = lookups_.find(shape); it != lookups_.end()) {
      Statement& st = db_->Prepare(it->second);
      const int64_t compiled = st.Reprepares();
      try {
        Variant value;
        if (Query query(st, params); query.Step()) value = query.Value(0);
        if (st.Reprepares() == compiled) return value;
      } catch (const RuntimeError&) {  // answered below as on first use
      }
      lookups_.erase(it);
    }
    std::string sql = build();
    Variant value = db_->QueryValue(sql, params);
    lookups_.emplace(shape, std::move(sql));
    return value;
  }

  // Catalogue tables a document only reads, by their primary key: inside a
  // unit of work a lookup by that key reads the whole row once for the unit
  // (Database::UnitRow), so the five fields of a product asked one by one
  // cost one read. nullopt when the lookup is not one of these or its column
  // is not in the row: the caller then asks as it would outside a unit.
  std::optional<std::string> KeptField(std::string_view table, std::string_view key,
                                       std::string_view result_column, std::string_view key2,
                                       bool excluded_state, const std::vector<Variant>& params) {
    struct CatalogueKey {
      std::string_view table, key, key2;
    };
    static constexpr CatalogueKey kKeys[] = {
        {"Producto", "Pr_Cve_Producto", ""},        {"Unidad", "Un_Cve_Unidad", ""},
        {"Sucursal", "Sc_Cve_Sucursal", ""},        {"Parametro", "Pa_Cve_Parametro", ""},
        {"Almacen", "Sc_Cve_Sucursal", "Al_Cve_Almacen"}};
    constexpr size_t kCount = sizeof kKeys / sizeof kKeys[0];
    // The texts, built once: this runs several times per document line.
    static const auto kSql = [&] {
      std::array<std::array<std::string, 2>, kCount> sql;
      for (size_t i = 0; i < kCount; ++i) {
        for (bool excluded : {false, true})
          sql[i][excluded] = KeyRowSql(kKeys[i].table, kKeys[i].key, kKeys[i].key2, excluded);
      }
      return sql;
    }();
    auto same = [](std::string_view a, std::string_view b) {
      return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
             });
    };
    for (size_t i = 0; i < kCount; ++i) {
      const CatalogueKey& k = kKeys[i];
      if (!same(k.table, table) || !same(k.key, key) || !same(k.key2, key2)) continue;
      try {
        auto row = db_->UnitRow(k.table, kSql[i][excluded_state], params);
        if (!row->found) return std::string();
        if (const Variant* value = row->Find(result_column)) return FieldText(*value);
      } catch (const RuntimeError&) {  // answered as outside a unit, errors included
      }
      return std::nullopt;
    }
    return std::nullopt;
  }

  bool Exists(std::string_view sql, const std::vector<Variant>& params) {
    return !db_->QueryValue(sql, params).IsEmpty();
  }

  // Runs an upsert ... RETURNING to its end and answers the value returned.
  int64_t Counter(std::string_view sql, const std::vector<Variant>& params) {
    Query query(*db_, sql, params);
    if (!query.Step()) RaiseSuiteError("El contador no devolvió valor");
    const auto value = static_cast<int64_t>(query.Number(0));
    query.statement().Run();
    return value;
  }

  // A column value as the text Obtener_Valor_Campo answers: "" for Null,
  // dates in their stored form, numbers as their decimal text.
  static std::string FieldText(const Variant& v) {
    switch (v.type()) {
      case Variant::Type::Empty:
      case Variant::Type::Null:
        return "";
      case Variant::Type::Date: {
        const Date d = v.ToDate();
        return d.serial() == static_cast<double>(static_cast<int64_t>(d.serial()))
                   ? DateText(d)
                   : DateTimeText(d);
      }
      case Variant::Type::Double:
        return NumberText(v.ToDouble());
      default:
        return v.ToString();
    }
  }

  std::shared_ptr<Database> db_;
  std::string last_error_;
  // Shape of a named lookup -> its statement text (see NamedLookup).
  std::unordered_map<std::string, std::string> lookups_;
};

}  // namespace

com::ComPtr<com::IUnknown> CreateDataServices() {
  return DataServices::Make(Database::ForThread()).As<com::IUnknown>();
}

}  // namespace qbx::suite
