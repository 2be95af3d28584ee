// What the tool checks before a write's unit of work begins, so that a
// person hears which field of which line is wrong, in the tool's words,
// instead of a refusal of the component halfway through (or none at all).
// The component is untouched: it still makes its own checks after these.
//
// Reads go through suite/reports.h. A document check raises DocumentError
// (exit 2) naming the field's path as the document's other refusals do
// ("Detalles, line 2: Producto.Pr_Cve_Producto: ..."); a request the
// database's state refuses raises Refused (exit 1).
#pragma once

#include <stdexcept>
#include <string>

namespace qbx::suite {
class Database;
}

namespace qbx::cli {

class CaptureDocument;

class Refused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a new document may not carry, without the database: a folio (the
// component assigns it) and texts longer than the suite's columns.
void CheckNewDocument(const CaptureDocument& doc);
// The codes, units, serial numbers and date it gives, against the catalogue
// and the open periods.
void CheckAgainstCatalogue(suite::Database& db, const CaptureDocument& doc);
// The sizes CheckNewDocument holds texts to, for `capture --help`.
std::string TextLimitsHelp();

// requisition ORDER: an order that does not exist, or whose every line its
// distribution centre already has in stock (the component would make no
// request and say only that a folio is missing). Raises Refused.
void CheckRequisition(suite::Database& db, const std::string& order);

// cfdi FOLIO without --force: a cancelled shipment, or one with a live
// transport document already. Raises DocumentError.
void CheckCfdi(suite::Database& db, const std::string& folio);

}  // namespace qbx::cli
