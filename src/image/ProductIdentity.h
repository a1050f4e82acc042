#pragma once

#include <QString>
#include <cstdint>

class FirmwareImage;
class ResourceStore;

// The identity of the firmware this build carries, and what the update
// derives from it.
struct ProductIdentity {
  uint16_t ProcessorNumber = 0;
  uint16_t RmNumber = 0;
  uint16_t ExpectedModel = 0;
  uint16_t FirmwareVersion = 0;
  uint32_t ProgramEndAddress = 0;  // last program address, inclusive; 0 until a known processor
  int32_t ModelReadDelay = 0;      // milliseconds; 0 or less means no pause
  QString ProductTitle;
};

enum class SlaveAddressGroup { Hidden, Shown };

// Sets ProgramEndAddress from ProcessorNumber by the processor table; an
// unknown processor leaves it unchanged.
void SetProgramEndAddress(ProductIdentity& identity);

// Looks RmNumber up in the product table and applies its row: ProductTitle
// (or "Unsupported Firmware"), ExpectedModel and ModelReadDelay. Returns
// whether the row asks for the Slave Address group.
[[nodiscard]] SlaveAddressGroup ApplyProductRow(ProductIdentity& identity);

// Fills the identity numbers from the resources "PROC_NUM", "RM_NUM" and
// "FW_VER" in start-up order, then applies the product row.
[[nodiscard]] SlaveAddressGroup BuildProductIdentity(ProductIdentity& identity,
                                                     const ResourceStore& resources);
