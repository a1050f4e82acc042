#pragma once

#include <cstdint>

class UpdateView;

// The commands that switch the unit into its boot loader, identify it and
// take it out of boot mode again.
class BootLoaderCommands {
 public:
  explicit BootLoaderCommands(UpdateView& view);

  // Sends the model's boot-entry requests at the firmware's speed and leaves
  // the link at the boot loader's; the result of the kind's last request,
  // 1 for a model entering without one, 0 for a model without a kind.
  int32_t EnableBootLoader();
  // RM number in the high half, version in the low half; all ones without
  // a good reply.
  uint32_t ReadBootLoaderInfo();
  // The same request with another reply timeout, in 100 ms ticks.
  uint32_t ReadBootLoaderInfo(uint16_t timeoutTicks);
  // 0 to 0xFFFF, or 0xFFFF0000 without a good reply.
  uint32_t ReadModelNumber();
  bool DisableBootMode();
  // 0 when the boot loader acknowledged.
  int32_t RestartUnit();

 private:
  UpdateView& view_;
};
