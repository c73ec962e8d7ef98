// Which layers the user wants: shell-style patterns over layer names and
// group paths, such as --only 'UI/**' --skip '*_old'.
#pragma once

#include <string>
#include <vector>

#include "export/export_options.h"

namespace peelbox {

// A pattern without "/" matches a layer's own name, wherever the layer is;
// one with "/" its path: the names of its groups, outermost first, and its
// own, joined by "/" (a leading "/" stands for the top level). "*" and "?"
// match within one name, "**" across "/", "[a-z]" and "[!a-z]" one character
// of a set, "\" takes the next character as it is. Characters are UTF-8
// code points; with ignoreCase, ASCII letters match either case.
class LayerFilter {
 public:
  struct Token;  // one element of a compiled pattern

  explicit LayerFilter(const ExportOptions& options);
  ~LayerFilter();

  // Whether the layer matches an --only pattern (when there is any) and no
  // --skip pattern.
  bool Wants(const std::string& name, const std::vector<std::string>& groups) const;

 private:
  struct Pattern {
    std::vector<Token> tokens;
    bool path = false;  // matched against the path, else the name
  };
  static Pattern Compile(const std::string& text);
  bool Matches(const Pattern& pattern, const std::u32string& text) const;
  bool OneMatches(const Token& token, char32_t c, bool path) const;

  std::vector<Pattern> only_;
  std::vector<Pattern> skip_;
  bool ignoreCase_;
};

}  // namespace peelbox
