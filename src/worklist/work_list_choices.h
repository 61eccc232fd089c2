#pragma once
// The entries of the work-list dialogs' drop-down lists. The cup type number sent to the analyser
// is the 1-based index in CupTypeNames, the disk the 1-based index in DiskNames.

#include <string>
#include <vector>

namespace strivex {

inline const std::vector<std::string>& CupTypeNames() {
  static const std::vector<std::string> names = {"Standard Cup", "Micro Cup", "Tube", "Standard Cup in Tube",
                                                 "Micro Cup in Tube"};
  return names;
}

inline const std::vector<std::string>& DiskNames() {
  static const std::vector<std::string> names = {"1", "2", "3"};
  return names;
}

inline const std::vector<std::string>& SampleTypeNames() {
  static const std::vector<std::string> names = {"SERUM", "URINA"};
  return names;
}

}  // namespace strivex
