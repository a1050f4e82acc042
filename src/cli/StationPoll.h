#pragma once

#include <QString>
#include <cstdint>

class TKovaComms;
class UpdateView;

// What one round of the station's poll found on its port.
struct PollAnswer {
  enum class Kind {
    Nothing,     // neither request was answered
    Garbled,     // a reply came, but not one to act on: something is on the line
    Running,     // the running firmware gave its model and version
    BootLoader,  // the boot loader gave its information
    PortLost,    // the port did not open
  };

  Kind What = Kind::Nothing;
  uint16_t UnitModel = 0;
  uint16_t UnitVersion = 0;
  QString PortDetail;  // why the port did not open
};

// One round of requests that change nothing in a unit: the unit information
// read (Modbus function 3, the update's first request) at the running
// firmware's speed and, when that is not answered, the boot loader's
// information request (command 8) at its speed, each with a short timeout.
// The view gives the link, the product and the slave address offset; the
// link keeps what it found of the line's echo from one round to the next.
PollAnswer PollPort(UpdateView& view, int comNumber);
