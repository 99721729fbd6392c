// The little XML the resource compiler reads: Qt Designer .ui files. Elements,
// attributes, text, comments, CDATA, the XML declaration and the predefined
// and numeric entities. No DTDs, no namespaces: .ui files use neither.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace klm::res::tools {

struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<std::unique_ptr<XmlElement>> children;
  std::string text;  // character data directly inside, concatenated
  int line = 0;

  std::string_view Attr(std::string_view key) const;
  const XmlElement* Child(std::string_view child_name) const;
  std::vector<const XmlElement*> Children(std::string_view child_name) const;
};

// The root element; the error names the line and what was expected.
Result<std::unique_ptr<XmlElement>> ParseXml(std::string_view text);

}  // namespace klm::res::tools
