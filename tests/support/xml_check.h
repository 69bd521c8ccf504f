#pragma once
// A tiny XML well-formedness check for the generated SVG: balanced tags, quoted attributes,
// known entities. Enough to catch a broken writer; not a validating parser.

#include <cstddef>
#include <string>

namespace tubenest::testing {

/// True when the text is well formed; otherwise false with a reason in *error.
bool IsWellFormedXml(const std::string& xml, std::string* error);

/// Number of start (or empty) tags of an element name, optionally only those whose class
/// attribute equals css_class.
std::size_t CountElements(const std::string& xml, const std::string& name, const std::string& css_class = "");

} // namespace tubenest::testing
