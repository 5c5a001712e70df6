#pragma once

#include <string>

namespace nv407 {

// The screen-level state that the commands of the capture screen share.
struct ScreenState {
  std::string newFolio;          // the folio issued for the policy being saved
  bool canChangeDate = false;    // the operator holds "CHFECHA"
  bool canInitServices = false;  // the operator holds "INISERV"
  std::string conceptText;       // the concept handed to the extended-text editor
  std::string extendedDescription;
};

}  // namespace nv407
