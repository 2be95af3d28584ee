#include "automation/guid.h"

#include <gtest/gtest.h>

namespace qbx {
namespace {

constexpr Guid kClass = MakeGuid("{582CF778-1781-431F-8AD9-5BC9D2DE72D0}");

TEST(Guids, FieldsAndRoundTrip) {
  EXPECT_EQ(kClass.data1, 0x582CF778u);
  EXPECT_EQ(kClass.data2, 0x1781u);
  EXPECT_EQ(kClass.data3, 0x431Fu);
  EXPECT_EQ(kClass.data4[0], 0x8A);
  EXPECT_EQ(kClass.data4[7], 0xD0);
  EXPECT_EQ(kClass.ToString(), "{582CF778-1781-431F-8AD9-5BC9D2DE72D0}");
  EXPECT_EQ(Guid::Parse(kClass.ToString()), kClass);
  EXPECT_EQ(Guid{}.ToString(), "{00000000-0000-0000-0000-000000000000}");
  const Guid small = *Guid::Parse("{0000000A-000B-000C-0D0E-0F0000000001}");
  EXPECT_EQ(small.ToString(), "{0000000A-000B-000C-0D0E-0F0000000001}");
}

TEST(Guids, ParseAcceptsRegistryFormsInAnyCase) {
  for (const char* text :
       {"{582CF778-1781-431F-8AD9-5BC9D2DE72D0}", "582CF778-1781-431F-8AD9-5BC9D2DE72D0",
        "{582cf778-1781-431f-8ad9-5bc9d2de72d0}", "582cf778-1781-431F-8aD9-5bc9d2DE72d0"})
    EXPECT_EQ(Guid::Parse(text), kClass) << text;
}

TEST(Guids, ParseRejectsMalformedTexts) {
  for (const char* text :
       {"", "{}", "{582CF778-1781-431F-8AD9-5BC9D2DE72D0", "582CF778-1781-431F-8AD9-5BC9D2DE72D0}",
        "(582CF778-1781-431F-8AD9-5BC9D2DE72D0)", "{582CF778-1781-431F-8AD9-5BC9D2DE72D0}x",
        "582CF778-1781-431F-8AD9-5BC9D2DE72DG", "582CF7781-781-431F-8AD9-5BC9D2DE72D0",
        "582CF778-1781-431F-8AD95BC9D2DE72D0-", "582CF778 1781 431F 8AD9 5BC9D2DE72D0",
        "582CF778-1781-431F-8AD9-5BC9D2DE72D"})
    EXPECT_FALSE(Guid::Parse(text).has_value()) << text;
}

TEST(Guids, OrderAndEquality) {
  const Guid a = MakeGuid("{00000001-0000-0000-0000-000000000000}");
  const Guid b = MakeGuid("{00000001-0000-0000-0000-000000000001}");
  const Guid c = MakeGuid("{00000001-0001-0000-0000-000000000000}");
  EXPECT_TRUE(a < b);
  EXPECT_TRUE(b < c);
  EXPECT_FALSE(b < a);
  EXPECT_FALSE(a < a);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a == Guid(a));
}

}  // namespace
}  // namespace qbx
