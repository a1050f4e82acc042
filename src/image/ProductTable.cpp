#include "image/ProductTable.h"

#include <algorithm>

using enum ProductRowKind;

const std::array<ProductRow, 37> ProductTable{{
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
}};

const ProductRow* FindProductRow(uint16_t rmNumber) {
  const auto* row = std::ranges::find(ProductTable, rmNumber, &ProductRow::RmNumber);
  return row == ProductTable.end() ? nullptr : row;
}
