#pragma once

#include <array>
#include <string_view>

namespace nv407::host {

// An index an earlier version made that this one replaced with a wider one. An upgrade
// drops it after making its replacement, so that an upgraded database is read as a new one
// is: kept, it costs every write and the planner may prefer it to the one that serves.
struct ReplacedIndex {
  std::string_view name;
  std::string_view table;
};

inline constexpr std::array<ReplacedIndex, 1> kReplacedIndexes = {{
    {"Poliza_Servicio_inicio", "Poliza_Servicio"},  // by Poliza_Servicio_inicio_vigencia
}};

}  // namespace nv407::host
