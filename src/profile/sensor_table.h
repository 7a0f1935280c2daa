// The sensors a mouse may report, as its device file lists them: which profile stage set keeps
// a sensor's DPI stages and how far its DPI goes.
#pragma once

#include <cstdint>
#include <vector>

#include "profile/settings_limits.h"

namespace velqa::profile {

struct SensorSpec {
    std::uint16_t sensor_id = 0;
    int stage_set = 0;
    int dpi_max = 0;
    bool operator==(const SensorSpec&) const = default;
};

// A sensor as the table knows it.
struct Sensor {
    std::uint16_t id = 0;
    int stage_set = -1;  // -1: unknown; then stages are neither read nor written
    ValueRange dpi{DpiMin, DpiMin};
};

class SensorTable {
  public:
    SensorTable() = default;
    explicit SensorTable(std::vector<SensorSpec> sensors) : sensors_(std::move(sensors)) {}

    // The stage set of `sensor_id`; -1 for a sensor the table lacks (then stages are neither
    // read nor written).
    int stage_set_for(std::uint16_t sensor_id) const;
    // DpiMin up to the highest DpiMax of the set's sensors. A set no sensor uses gets the
    // narrowest range the table knows, so an unknown sensor is never allowed more than a known
    // one; an empty table allows DpiMin only.
    ValueRange dpi_range_of_set(int stage_set) const;

    // DpiMin up to the sensor's own DpiMax; a sensor the table lacks gets the narrowest range.
    ValueRange dpi_range_for(std::uint16_t sensor_id) const;

    Sensor sensor(std::uint16_t sensor_id) const {
        return {sensor_id, stage_set_for(sensor_id), dpi_range_for(sensor_id)};
    }

    const std::vector<SensorSpec>& sensors() const { return sensors_; }

  private:
    std::vector<SensorSpec> sensors_;
};

}  // namespace velqa::profile
