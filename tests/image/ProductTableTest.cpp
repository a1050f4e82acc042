#include "image/ProductTable.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <set>

namespace {

using enum ProductRowKind;

const ProductRow ListedRows[] = {
    {1101, "Level Monitor LM-100 v", Plain},
    {1102, "Level Monitor LM-200 v", Plain},
    {1103, "Pump Controller PC-10 v", Plain},
    {1104, "Pump Controller PC-20 v", Plain},
    {1105, "Dosing Controller DC-4 v", Plain},
    {1106, "Flow Meter Interface FM-1 v", Plain},
    {1107, "Flow Meter Interface FM-2 v", Plain},
    {1108, "Pressure Transmitter PT-5 v", Plain},
    {1109, "Pressure Transmitter PT-6 v", Plain},
    {1110, "Temperature Scanner TS-8 v", Plain},
    {1111, "Temperature Scanner TS-16 v", Plain},
    {1112, "Relay Output Module RO-8 v", Plain},
    {1113, "Analogue Input Module AI-4 v", Plain},
    {1114, "Analogue Output Module AO-2 v", Plain},
    {1115, "Digital Input Module DI-16 v", Plain},
    {1116, "Motor Starter Interface MS-3 v", Plain},
    {1117, "Heater Controller HC-2 v", Plain},
    {1118, "Chiller Controller CC-1 v", Plain},
    {1119, "Tank Gauge Display TG-1 with Remote Alarm Panel v", Plain},
    {1120, "Network Gateway NG-1 v", Plain},
    {1121, "High Speed Logger HL-9 v", Plain},
    {1122, "Display Terminal DT-7 v", Plain},
    {2001, "Sensor Node SN-01 v", Family},
    {2002, "Sensor Node SN-02 v", Family},
    {2003, "Sensor Node SN-03 v", Family},
    {2004, "Sensor Node SN-04 v", Family},
    {2005, "Sensor Node SN-05 v", Family},
    {2006, "Sensor Node SN-06 v", Family},
    {2007, "Sensor Node SN-07 v", Family},
    {2008, "Sensor Node SN-08 v", Family},
    {2009, "Sensor Node SN-09 v", Family},
    {2010, "Sensor Node SN-10 v", Family},
    {2011, "Sensor Node SN-11 v", Family},
    {2012, "Sensor Node SN-12 v", Family},
    {2013, "Sensor Node SN-13 v", Family},
    {3001, "Weighing Indicator WI-3 v", Paused},
    {4001, "Multi-Drop Controller MD-5 v", Addressed},
};

TEST(ProductTable, EveryListedRowIsFoundWithItsTitleAndKind) {
  for (const ProductRow& listed : ListedRows) {
    const ProductRow* row = FindProductRow(listed.RmNumber);
    ASSERT_NE(row, nullptr) << listed.RmNumber;
    EXPECT_EQ(row->TitlePrefix, listed.TitlePrefix) << listed.RmNumber;
    EXPECT_EQ(row->Kind, listed.Kind) << listed.RmNumber;
  }
}

TEST(ProductTable, HoldsOnlyTheListedRowsWithUniqueKeys) {
  std::set<uint16_t> listedKeys;
  for (const ProductRow& listed : ListedRows) {
    listedKeys.insert(listed.RmNumber);
  }
  std::set<uint16_t> keys;
  for (const ProductRow& row : ProductTable) {
    EXPECT_TRUE(listedKeys.contains(row.RmNumber)) << row.RmNumber;
    EXPECT_TRUE(keys.insert(row.RmNumber).second) << "duplicate " << row.RmNumber;
  }
  EXPECT_EQ(keys.size(), 37u);
}

TEST(ProductTable, PrefixesEndInSpaceAndV) {
  for (const ProductRow& row : ProductTable) {
    EXPECT_TRUE(row.TitlePrefix.ends_with(" v")) << row.RmNumber;
    EXPECT_GE(row.TitlePrefix.size(), 17u) << row.RmNumber;
    EXPECT_LE(row.TitlePrefix.size(), 55u) << row.RmNumber;
  }
}

TEST(ProductTable, KindsComeInTheirCounts) {
  std::map<ProductRowKind, int> counts;
  for (const ProductRow& row : ProductTable) {
    ++counts[row.Kind];
  }
  EXPECT_EQ(counts[Plain], 22);
  EXPECT_EQ(counts[Family], 13);
  EXPECT_EQ(counts[Paused], 1);
  EXPECT_EQ(counts[Addressed], 1);
}

TEST(ProductTable, NumbersWithoutARowAreNotFound) {
  for (const uint16_t rm :
       std::initializer_list<uint16_t>{0, 1100, 1123, FamilyModelNumber, 2014, 4000, 65535}) {
    EXPECT_EQ(FindProductRow(rm), nullptr) << rm;
  }
}

}  // namespace
