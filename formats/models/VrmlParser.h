#pragma once

#include "formats/models/VrmlLexer.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vistamaze::models {

struct VrmlNode;
using VrmlNodePtr = std::shared_ptr<const VrmlNode>;

// A field value as written: its numbers, its nodes, or a single word (TRUE, an enumeration).
struct VrmlValue {
    std::vector<double> numbers;
    std::vector<VrmlNodePtr> nodes;
    std::string word;
};

// A node with its fields in file order; VRML 1.0 children written straight into the body go to
// `children`. Nodes are shared, never changed after parsing, and form no cycle (USE can only
// name a node whose body is complete).
struct VrmlNode {
    std::string type;
    std::vector<std::pair<std::string, VrmlValue>> fields;
    std::vector<VrmlNodePtr> children;

    [[nodiscard]] const VrmlValue* Field(std::string_view name) const;
};

// Parses the statements of a VRML file (after its header line) into the top-level nodes. PROTO,
// EXTERNPROTO and ROUTE statements are skipped; instances of prototypes become nodes of an
// unknown type. Throws vistamaze::Error on malformed text.
class VrmlParser {
public:
    explicit VrmlParser(std::string_view text) : lexer_(text) {}

    std::vector<VrmlNodePtr> ParseFile();

private:
    VrmlNodePtr ParseNodeRef(int depth);
    VrmlNodePtr ParseNodeBody(std::string_view type, int depth);
    void ParseValue(VrmlValue& value, int depth);
    void ParseList(VrmlValue& value, int depth);
    bool StartsNode();
    bool SkipStatement();
    void SkipBalanced(VrmlTokenKind open, VrmlTokenKind close);
    VrmlToken Expect(VrmlTokenKind kind, const char* what);

    VrmlLexer lexer_;
    std::map<std::string, VrmlNodePtr, std::less<>> defined_;
};

}  // namespace vistamaze::models
