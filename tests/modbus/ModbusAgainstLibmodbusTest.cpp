#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "comms/KovaComms.h"
#include "modbus/ModBusPro.h"
#include "modbus/ModbusFrames.h"
#include "support/PseudoTerminal.h"

namespace {

using namespace std::chrono_literals;

constexpr int Slave = 19;

// libmodbus as the slave on the peer side of a pseudo-terminal, serving
// holding registers from its own thread.
class LibmodbusSlave {
 public:
  explicit LibmodbusSlave(int fd)
      : context_(modbus_new_rtu("/dev/null", 9600, 'N', 8, 1), &modbus_free),
        mapping_(modbus_mapping_new(0, 0, 100, 0), &modbus_mapping_free) {
    modbus_set_slave(context_.get(), Slave);
    modbus_set_socket(context_.get(), fd);
    // Short timeouts: libmodbus answers what it cannot frame only after its
    // response timeout, and the loop must notice the stop.
    modbus_set_response_timeout(context_.get(), 0, 100000);
    modbus_set_indication_timeout(context_.get(), 0, 100000);
    Registers()[20] = 4001;
    Registers()[21] = 2105;
    thread_ = std::thread([this] { Serve(); });
  }
  LibmodbusSlave(const LibmodbusSlave&) = delete;
  LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;
  ~LibmodbusSlave() {
    stop_ = true;
    thread_.join();
  }

  uint16_t* Registers() { return mapping_->tab_registers; }

 private:
  void Serve() {
    std::array<uint8_t, MODBUS_RTU_MAX_ADU_LENGTH> query{};
    while (!stop_) {
      const int length = modbus_receive(context_.get(), query.data());
      if (length > 0) modbus_reply(context_.get(), query.data(), length, mapping_.get());
    }
  }

  std::unique_ptr<modbus_t, decltype(&modbus_free)> context_;
  std::unique_ptr<modbus_mapping_t, decltype(&modbus_mapping_free)> mapping_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class ModbusAgainstLibmodbus : public testing::Test {
 protected:
  ModbusAgainstLibmodbus() : link([this](int) { return pty.SlavePath(); }) {
    pty.KeepSlaveOpen();
    link.RxBufferSize = 500;
    if (!link.Open()) throw std::runtime_error("cannot open " + pty.SlavePath());
    slave = std::make_unique<LibmodbusSlave>(pty.MasterFd());
  }

  PseudoTerminal pty;
  TKovaComms link;
  std::unique_ptr<LibmodbusSlave> slave;
};

TEST_F(ModbusAgainstLibmodbus, ReadReturnsTheValuesTheSlaveHolds) {
  std::array<uint16_t, 2> values{};
  EXPECT_EQ(
      ReadRegisters(link, Slave, ModbusFunction::ReadRegisters, 20, 2, ModbusTimeoutTicks, values),
      1);
  EXPECT_EQ(values, (std::array<uint16_t, 2>{4001, 2105}));
}

TEST_F(ModbusAgainstLibmodbus, StandardWriteIsAnsweredAndTakesEffect) {
  EXPECT_EQ(
      WriteRegister(link, Slave, ModbusFunction::WriteRegister, 24, 0x1234, ModbusTimeoutTicks), 1);
  std::array<uint16_t, 1> value{};
  EXPECT_EQ(ReadRegistersRetry({link, 0}, Slave, ModbusFunction::ReadRegisters, 24, 1, value), 1);
  EXPECT_EQ(value[0], 0x1234);
}

TEST_F(ModbusAgainstLibmodbus, DeviceFunctionsItCannotFrameEndAsTimeoutsAfterTwoAttempts) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WriteRegisterRetry({link, 0}, Slave, ModbusFunction::DeviceWriteRegister, 29, 0x7E59),
            0);
  // Two attempts of about 2.1 s each.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 4s);
  const std::array<uint16_t, 2> values{1, 2};
  EXPECT_EQ(WriteRegisters(link, Slave, ModbusFunction::DeviceWriteRegisters, 7, 2, values, 5), 0);
}

}  // namespace
