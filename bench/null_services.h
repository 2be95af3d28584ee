// Outside services that do nothing: constant answers, no database, no
// recording. Installed as the object provider, they leave only the
// component's own work to measure.
#pragma once

#include "automation/com.h"

namespace qbx::bench {

class NullProvider final : public com::ObjectProvider {
 public:
  // in_transit: the answer to MOV_GENERAR_MOVIMIENTOS_EN_TRANSITO. rows: how
  // many rows every recordset yields (the lines of the document the
  // operation reads back).
  NullProvider(bool in_transit, int rows) : in_transit_(in_transit), rows_(rows) {}
  com::HRESULT CreateInstance(const Guid& clsid, const Guid& iid, void** out) override;

 private:
  bool in_transit_;
  int rows_;
};

}  // namespace qbx::bench
