// A fresh apartment on recording doubles for each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "component/publico.h"
#include "records/records.h"
#include "tests/doubles/doubles.h"
#include "transfer/transferencia.h"

namespace qbx::test {

class TransferTest : public ::testing::Test {
 protected:
  TransferTest();
  ~TransferTest() override;

  // Creates the object under test (start-up runs on the first one).
  Transferencia& Object();
  // Releases the object under test (the next Object() creates a new one).
  void ResetObject();
  // A header of the given type between branch S1/warehouse A1 and branch
  // S2/warehouse A2, dated 2024-03-05.
  static tTrEncabezado Header(const std::string& tipo);
  // A line of product P1, 5 PZA, control quantities 5 and 0, cost 10.
  static tTrDetalle Line();

  // Movement kinds and transit warehouse the fixture's settings answer.
  static constexpr const char* kSalidaTransferencia = "STR";
  static constexpr const char* kEntradaTransito = "ETT";
  static constexpr const char* kSalidaTransito = "STT";
  static constexpr const char* kEntradaTransferencia = "ETR";
  static constexpr const char* kAlmacenTransito = "AT";

  FakeSuite suite;

 private:
  friend void StandardSettings(FakeSuite& suite);
  ScopedProvider provider_{&suite};
  std::unique_ptr<Transferencia> object_;
};

// The settings the fixture's doubles answer (parameters every capture reads).
void StandardSettings(FakeSuite& suite);

// One case of a table-driven test: a fresh apartment on its own doubles with
// the standard settings, installed for the calling thread while it lives.
// Objects created on it must be released before it.
class CaseDoubles {
 public:
  CaseDoubles();
  ~CaseDoubles();
  CaseDoubles(const CaseDoubles&) = delete;
  CaseDoubles& operator=(const CaseDoubles&) = delete;

  FakeSuite suite;

 private:
  ScopedProvider provider_{&suite};
};

}  // namespace qbx::test
