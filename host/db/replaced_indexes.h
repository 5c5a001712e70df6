#pragma once

#include <array>
#include <string_view>

namespace nv407::host {

// An index an earlier version made that this one replaced with a wider one. An upgrade
// drops it after making its replacement, so that an upgraded database is read as a new one
// is: kept, it costs every write and the planner may prefer it to the one that serves.
// An index of that name made otherwise (on another table, other columns, unique) is an
// office's own, and is kept.
struct ReplacedIndex {
  std::string_view name;
  std::string_view table;
  std::string_view columns;  // its key, as DialectTraits::index_as_made_query takes it
};

inline constexpr std::array<ReplacedIndex, 1> kReplacedIndexes = {{
    // by Poliza_Servicio_inicio_vigencia
    {"Poliza_Servicio_inicio", "Poliza_Servicio", "Ps_Fecha_Inicia, Ps_Folio"},
}};

}  // namespace nv407::host
