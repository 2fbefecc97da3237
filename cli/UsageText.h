#pragma once

#include <string>

namespace vistamaze::cli {

// The text printed by --help.
std::string UsageText();

}  // namespace vistamaze::cli
