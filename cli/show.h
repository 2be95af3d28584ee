// What the database holds about one transfer, as `quelbarix show` and the
// demo print it.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "cli/table.h"

namespace qbx::cli {

struct TransferReport {
  std::string folio;
  Table rows;                               // Transferencia rows, in line order
  std::optional<std::string> finalised_at;  // from the processed-documents log
  Table referred_by;                        // transfers whose Tr_Referencia is this folio
  Table movements;                          // Movimiento rows of the document
  Table transport;                          // Traslado rows
  Table vouchers;                           // Comprobante_Digital rows of those
  Table entries;                            // Poliza
  Table entry_lines;                        // Poliza_Detalle
};

// Empty rows when there is no such transfer.
TransferReport ReadTransfer(suite::Database& db, const std::string& folio);
std::string TypeName(const std::string& type);
nlohmann::json ReportJson(const TransferReport& report);
void PrintReport(std::ostream& out, const TransferReport& report);

}  // namespace qbx::cli
