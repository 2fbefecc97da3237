#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vistamaze {

// `name` in double quotes for a one-line message: control characters (a newline, a tab, an
// escape, DEL) are written as \n, \t, \r or \xHH, so a file name cannot split or colour the line
// it is shown in. Other bytes, quotes and backslashes included, stay as they are.
[[nodiscard]] std::string QuotedName(std::string_view name);
[[nodiscard]] inline std::string QuotedName(const std::string& name) {
    return QuotedName(std::string_view(name));
}
[[nodiscard]] inline std::string QuotedName(const char* name) {
    return QuotedName(std::string_view(name));
}
[[nodiscard]] std::string QuotedName(const std::filesystem::path& file);

}  // namespace vistamaze
