#include "image/ProductIdentity.h"

#include <gtest/gtest.h>

#include "ProductFolder.h"
#include "image/ProductTable.h"

namespace {

void writeIdentity(const ProductFolder& folder, uint16_t processor, uint16_t rm, uint16_t version) {
  folder.writeWord("PROC_NUM", processor);
  folder.writeWord("RM_NUM", rm);
  folder.writeWord("FW_VER", version);
}

TEST(ProductIdentity, RowKindSetsTitleModelDelayAndGroup) {
  struct Case {
    uint16_t rm;
    uint16_t version;
    const char* title;
    uint16_t expectedModel;
    int32_t delay;
    SlaveAddressGroup group;
  };
  const Case cases[] = {
      {4001, 2110, "Multi-Drop Controller MD-5 v2.110", 4001, 5, SlaveAddressGroup::Shown},
      {4001, 2005, "Multi-Drop Controller MD-5 v2.005", 4001, 5, SlaveAddressGroup::Shown},
      {2007, 2110, "Sensor Node SN-07 v21.10", FamilyModelNumber, -1, SlaveAddressGroup::Hidden},
      {2013, 105, "Sensor Node SN-13 v1.05", FamilyModelNumber, -1, SlaveAddressGroup::Hidden},
      {1101, 110, "Level Monitor LM-100 v1.10", 1101, -1, SlaveAddressGroup::Hidden},
      {1121, 305, "High Speed Logger HL-9 v3.05", 1121, -1, SlaveAddressGroup::Hidden},
      {3001, 110, "Weighing Indicator WI-3 v1.10", 3001, 5, SlaveAddressGroup::Hidden},
      {9999, 2110, "Unsupported Firmware", 9999, -1, SlaveAddressGroup::Hidden},
      {FamilyModelNumber, 110, "Unsupported Firmware", FamilyModelNumber, -1,
       SlaveAddressGroup::Hidden},
  };
  for (const Case& c : cases) {
    ProductFolder folder;
    writeIdentity(folder, 4680, c.rm, c.version);
    ProductIdentity identity;
    const SlaveAddressGroup group = BuildProductIdentity(identity, folder.store());
    EXPECT_EQ(identity.ProductTitle, c.title) << c.rm;
    EXPECT_EQ(identity.RmNumber, c.rm) << c.rm;
    EXPECT_EQ(identity.FirmwareVersion, c.version) << c.rm;
    EXPECT_EQ(identity.ExpectedModel, c.expectedModel) << c.rm;
    EXPECT_EQ(identity.ModelReadDelay, c.delay) << c.rm;
    EXPECT_EQ(group, c.group) << c.rm;
  }
}

TEST(ProductIdentity, VersionLimitsKeepTheirDecimals) {
  struct Case {
    uint16_t rm;
    uint16_t version;
    const char* title;
  };
  const Case cases[] = {
      {1102, 0, "Level Monitor LM-200 v0.00"},
      {4001, 0, "Multi-Drop Controller MD-5 v0.000"},
      {1102, 65535, "Level Monitor LM-200 v655.35"},
      {4001, 65535, "Multi-Drop Controller MD-5 v65.535"},
      {2001, 9, "Sensor Node SN-01 v0.09"},
  };
  for (const Case& c : cases) {
    ProductIdentity identity;
    identity.RmNumber = c.rm;
    identity.FirmwareVersion = c.version;
    (void)ApplyProductRow(identity);
    EXPECT_EQ(identity.ProductTitle, c.title) << c.version;
  }
}

TEST(ProductIdentity, UnknownRmNumberChangesOnlyTheTitle) {
  ProductIdentity identity;
  identity.RmNumber = 1234;
  identity.ExpectedModel = 1234;
  identity.ModelReadDelay = -1;
  identity.FirmwareVersion = 2110;
  EXPECT_EQ(ApplyProductRow(identity), SlaveAddressGroup::Hidden);
  EXPECT_EQ(identity.ProductTitle, "Unsupported Firmware");
  EXPECT_EQ(identity.ExpectedModel, 1234);
  EXPECT_EQ(identity.ModelReadDelay, -1);
}

TEST(ProductIdentity, ProcessorNumberSelectsProgramEndAddress) {
  struct Case {
    uint16_t processor;
    uint32_t end;
  };
  const Case cases[] = {
      {4321, 0x1FFF}, {2525, 0xBFFF}, {2620, 0xFFFF}, {4680, 0xFFFF}, {6622, 0xFFFF}, {4679, 0},
  };
  for (const Case& c : cases) {
    ProductFolder folder;
    writeIdentity(folder, c.processor, 1101, 100);
    ProductIdentity identity;
    (void)BuildProductIdentity(identity, folder.store());
    EXPECT_EQ(identity.ProcessorNumber, c.processor);
    EXPECT_EQ(identity.ProgramEndAddress, c.end) << c.processor;
  }
}

TEST(ProductIdentity, UnknownProcessorKeepsPreviousEndAddress) {
  ProductIdentity identity;
  identity.ProcessorNumber = 2525;
  SetProgramEndAddress(identity);
  identity.ProcessorNumber = 1;
  SetProgramEndAddress(identity);
  EXPECT_EQ(identity.ProgramEndAddress, 0xBFFFu);
}

TEST(ProductIdentity, OneByteVersionIsThatByte) {
  ProductFolder folder;
  folder.writeWord("PROC_NUM", 4680);
  folder.writeWord("RM_NUM", 1101);
  folder.write("FW_VER", "\xFE");
  ProductIdentity identity;
  (void)BuildProductIdentity(identity, folder.store());
  EXPECT_EQ(identity.FirmwareVersion, 254);
  EXPECT_EQ(identity.ProductTitle, "Level Monitor LM-100 v2.54");
}

TEST(ProductIdentity, MissingRmNumberStopsAfterTheProcessor) {
  ProductFolder folder;
  folder.writeWord("PROC_NUM", 2525);
  folder.writeWord("FW_VER", 2110);
  ProductIdentity identity;
  EXPECT_EQ(errorOf([&] { (void)BuildProductIdentity(identity, folder.store()); }),
            "Resource RM_NUM not found");
  EXPECT_EQ(identity.ProcessorNumber, 2525);
  EXPECT_EQ(identity.ProgramEndAddress, 0xBFFFu);
  EXPECT_EQ(identity.FirmwareVersion, 0);
  EXPECT_EQ(identity.ModelReadDelay, 0);
  EXPECT_TRUE(identity.ProductTitle.isEmpty());
}

}  // namespace
