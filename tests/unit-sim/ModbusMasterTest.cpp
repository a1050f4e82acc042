#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "UnitSimChild.h"

namespace {

// libmodbus, a Modbus implementation nobody here wrote, as the master on unit-sim's line.
class ModbusMaster {
 public:
  ModbusMaster(const std::string& path, int speed)
      : context_(modbus_new_rtu(path.c_str(), speed, 'N', 8, 1)) {
    if (!context_) throw std::runtime_error("modbus_new_rtu failed");
    modbus_set_slave(context_.get(), 19);
    modbus_set_response_timeout(context_.get(), 1, 0);
    if (modbus_connect(context_.get()) != 0) throw std::runtime_error(modbus_strerror(errno));
  }
  ModbusMaster(const ModbusMaster&) = delete;
  ModbusMaster& operator=(const ModbusMaster&) = delete;
  ~ModbusMaster() { modbus_close(context_.get()); }
  modbus_t* operator*() const { return context_.get(); }

 private:
  struct Free {
    void operator()(modbus_t* context) const { modbus_free(context); }
  };
  std::unique_ptr<modbus_t, Free> context_;
};

}  // namespace

TEST(UnitSimWithLibmodbus, ReadsModelAndVersion) {
  UnitSimChild sim({"--model", "1105", "--version", "109"});
  ModbusMaster master(sim.Path(), 9600);
  uint16_t values[2] = {};
  ASSERT_EQ(modbus_read_registers(*master, 20, 2, values), 2) << modbus_strerror(errno);
  EXPECT_EQ(values[0], 1105);
  EXPECT_EQ(values[1], 109);
}

TEST(UnitSimWithLibmodbus, WritesWithFunction6AndReadsItBack) {
  UnitSimChild sim({});
  ModbusMaster master(sim.Path(), 9600);
  ASSERT_EQ(modbus_write_register(*master, 25, 4321), 1) << modbus_strerror(errno);
  uint16_t value = 0;
  ASSERT_EQ(modbus_read_registers(*master, 25, 1, &value), 1);
  EXPECT_EQ(value, 4321);
  EXPECT_TRUE(sim.WaitForLine("rx 9600 13 06 00 19 10 E1"));
}

TEST(UnitSimWithLibmodbus, ExceptionsNameTheProblem) {
  UnitSimChild sim({});
  ModbusMaster master(sim.Path(), 9600);
  uint16_t values[2] = {};
  EXPECT_EQ(modbus_read_registers(*master, 40, 1, values), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_read_input_registers(*master, 20, 1, values), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  EXPECT_EQ(modbus_write_registers(*master, 22, 2, values), -1);
  EXPECT_EQ(errno, EMBXILFUN);
}

TEST(UnitSimWithLibmodbus, IgnoresARequestAtTheWrongSpeed) {
  UnitSimChild sim({});
  ModbusMaster master(sim.Path(), 115200);
  uint16_t values[2] = {};
  EXPECT_EQ(modbus_read_registers(*master, 20, 2, values), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_TRUE(sim.WaitForLine("ignored 115200 13 03 00 14 00 02 87 7D"));
}

TEST(UnitSimWithLibmodbus, NeverAnswersNorActsOnBroadcast) {
  UnitSimChild sim({});
  ModbusMaster master(sim.Path(), 9600);
  modbus_set_slave(*master, 0);
  // libmodbus waits for a reply even here, and gets none.
  EXPECT_EQ(modbus_write_register(*master, 22, 5), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  ASSERT_TRUE(sim.WaitForLine("rx 9600 00 06 00 16 00 05"));
  modbus_set_slave(*master, 19);
  uint16_t value = 0;
  ASSERT_EQ(modbus_read_registers(*master, 22, 1, &value), 1) << modbus_strerror(errno);
  EXPECT_EQ(value, 1922);
  ASSERT_TRUE(sim.WaitForLine("tx 9600 13 03 02 07 82"));
  const std::vector<std::string> lines = sim.Lines();
  const auto broadcast = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("rx 9600 00 06");
  });
  ASSERT_NE(broadcast, lines.end());
  ASSERT_NE(broadcast + 1, lines.end());
  EXPECT_TRUE(broadcast[1].starts_with("rx 9600 13 03")) << broadcast[1];
}
