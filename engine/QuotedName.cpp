#include "engine/QuotedName.h"

namespace vistamaze {

std::string QuotedName(std::string_view name) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted;
    quoted.reserve(name.size() + 2);
    quoted += '"';
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (byte < 0x20 || byte == 0x7f) {
            quoted += "\\x";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0x0f];
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::string QuotedName(const std::filesystem::path& file) {
    return QuotedName(std::string_view(file.native()));
}

}  // namespace vistamaze
