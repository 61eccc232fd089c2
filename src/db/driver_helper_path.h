#pragma once
// Where the helper program that runs ODBC drivers (apps/strivex-odbc-helper) lies, found from the
// file of the code asking, as the host finds the module: beside the module in the package's
// private library folder, or from a program's folder the way the host reaches that folder; the
// build tree's helper, at its place in the tree, for code that was built there.

#include <string>

namespace strivex {

// The helper's path; where it was expected when it is nowhere, so the start's error names it.
std::string DriverHelperPath();

}  // namespace strivex
