// The opening stock of the sample catalogue, for tests and the demo that
// check figures against it. Created by CreateSampleStock (suite/sample.h).
//
// At the distribution centre's general warehouse part of the plain product
// is already committed to an earlier request (an availability adjustment),
// so that the north branch's sample order (150 pieces) cannot be covered from
// available stock while the missing quantity is on hand to ship.
#pragma once

namespace qbx::suite::sample {

// Movement kind of the opening entries (an entry, in Tipo_Movimiento).
inline constexpr const char* kKindOpening = "INV";

// Plain product at the distribution centre's general warehouse.
inline constexpr double kCedisPlainOnHand = 200;
inline constexpr double kCedisPlainCommitted = 100;  // adjustment -100
inline constexpr double kCedisPlainCost = 2.5;
// Type "04" product at the same warehouse.
inline constexpr double kCedisKitOnHand = 30;
inline constexpr double kCedisKitCost = 120;
// Every size and colour of the apparel product at the distribution centre.
inline constexpr double kCedisApparelOnHand = 40;
inline constexpr double kCedisApparelCost = 150;

// Lots of the lot product at the distribution centre's lot warehouse.
inline constexpr const char* kLotA = "L-2401";
inline constexpr double kLotAQuantity = 30;
inline constexpr const char* kLotB = "L-2402";
inline constexpr double kLotBQuantity = 20;
inline constexpr double kLotCost = 300;

// Serial numbers of the serial product at the distribution centre's serial
// warehouse: "SN-0001" to "SN-0005"; one more at the north branch.
inline constexpr const char* kSerialFirst = "SN-0001";
inline constexpr int kCedisSerials = 5;
inline constexpr const char* kSerialNorth = "SN-1001";
inline constexpr double kSerialCost = 9500;

// Plain product at the branches' general warehouses.
inline constexpr double kNorthPlainOnHand = 40;
inline constexpr double kSouthPlainOnHand = 25;

}  // namespace qbx::suite::sample
