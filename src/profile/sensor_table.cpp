#include "profile/sensor_table.h"

#include <algorithm>

namespace velqa::profile {

int SensorTable::stage_set_for(std::uint16_t sensor_id) const {
    for (const SensorSpec& s : sensors_) {
        if (s.sensor_id == sensor_id)
            return s.stage_set;
    }
    return -1;
}

ValueRange SensorTable::dpi_range_of_set(int stage_set) const {
    int in_set = 0;
    int narrowest = 0;
    for (const SensorSpec& s : sensors_) {
        if (s.stage_set == stage_set)
            in_set = std::max(in_set, s.dpi_max);
        narrowest = narrowest == 0 ? s.dpi_max : std::min(narrowest, s.dpi_max);
    }
    return ValueRange{DpiMin, std::max(DpiMin, in_set != 0 ? in_set : narrowest)};
}

ValueRange SensorTable::dpi_range_for(std::uint16_t sensor_id) const {
    for (const SensorSpec& s : sensors_) {
        if (s.sensor_id == sensor_id)
            return ValueRange{DpiMin, std::max(DpiMin, s.dpi_max)};
    }
    return dpi_range_of_set(-1);
}

}  // namespace velqa::profile
