#pragma once

#include <string>
#include <vector>

namespace nv407 {

// One row of the services list as the counter report reads it.
struct ServiceUsage {
  std::string key;          // item text: the service type key
  std::string description;  // sub-item 1
  std::string unit;         // sub-item 2, "HR" or "EV"
  std::string used;         // sub-item 4, as the list shows it
};

// The fixed-width summary of the used amounts that the counter reset writes into the
// policy's record log: title, rule, column header, rule, then one line per row, every
// line ended by CR LF. No rows give an empty text. Widths count characters, not bytes,
// so accented descriptions keep the columns aligned; a cut never splits a character (a
// letter and its accents, an emoji sequence, a flag): spaces stand for what does not fit.
std::string CounterReport(const std::vector<ServiceUsage>& rows);

}  // namespace nv407
