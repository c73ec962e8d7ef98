#include "export/layer_filter.h"

#include <algorithm>
#include <utility>

#include "psd/text.h"

namespace peelbox {

struct LayerFilter::Token {
  enum class Kind { kChar, kAny, kSet, kStar, kGlobStar, kGlobStarSlash };
  Kind kind = Kind::kChar;
  char32_t c = 0;                                     // kChar
  std::vector<std::pair<char32_t, char32_t>> ranges;  // kSet
  bool negated = false;                               // kSet
};

namespace {

using Token = LayerFilter::Token;
using Kind = Token::Kind;

// The text as code points; a byte that starts no well-formed UTF-8
// sequence stands for itself as U+DC80..U+DCFF, which no sequence decodes
// to, so that it matches only itself, "?" and "*".
std::u32string CodePoints(const std::string& text) {
  std::u32string points;
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8SequenceLength(text, i);
    const auto byte = static_cast<unsigned char>(text[i]);
    if (length == 0) {
      points.push_back(0xDC00 + byte);
      ++i;
      continue;
    }
    char32_t point = length == 1 ? byte : byte & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) point = point << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    points.push_back(point);
    i += length;
  }
  return points;
}

char32_t Lower(char32_t c) { return c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c; }
char32_t Upper(char32_t c) { return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c; }

bool InSet(const Token& set, char32_t c) {
  return std::any_of(set.ranges.begin(), set.ranges.end(),
                     [&](const auto& range) { return range.first <= c && c <= range.second; });
}

// "[...]" at `*at`: its members, "]" first being one of them, and "a-z"
// ranges; "!" or "^" first negates. Without a closing "]", "[" is itself.
bool ParseSet(const std::u32string& p, size_t* at, Token* token) {
  Token set;
  set.kind = Kind::kSet;
  size_t j = *at + 1;
  if (j < p.size() && (p[j] == U'!' || p[j] == U'^')) {
    set.negated = true;
    ++j;
  }
  for (const size_t first = j; j < p.size() && (p[j] != U']' || j == first);) {
    const bool range = j + 2 < p.size() && p[j + 1] == U'-' && p[j + 2] != U']';
    set.ranges.emplace_back(p[j], range ? p[j + 2] : p[j]);
    j += range ? 3 : 1;
  }
  if (j >= p.size()) return false;
  *at = j + 1;
  *token = std::move(set);
  return true;
}

}  // namespace

LayerFilter::LayerFilter(const ExportOptions& options) : ignoreCase_(options.ignoreCase) {
  for (const std::string& pattern : options.only) only_.push_back(Compile(pattern));
  for (const std::string& pattern : options.skip) skip_.push_back(Compile(pattern));
}

LayerFilter::~LayerFilter() = default;

LayerFilter::Pattern LayerFilter::Compile(const std::string& text) {
  Pattern pattern;
  const std::u32string p = CodePoints(text);
  pattern.path = p.find(U'/') != std::u32string::npos;
  const size_t first = pattern.path && p[0] == U'/' ? 1 : 0;  // "/Sky": the top-level Sky
  for (size_t i = first; i < p.size();) {
    Token token;
    if (p[i] == U'*' && i + 1 < p.size() && p[i + 1] == U'*') {
      const bool wholeName = i == first || p[i - 1] == U'/';
      while (i < p.size() && p[i] == U'*') ++i;
      token.kind = wholeName && i < p.size() && p[i] == U'/' ? Kind::kGlobStarSlash : Kind::kGlobStar;
      if (token.kind == Kind::kGlobStarSlash) ++i;
    } else if (p[i] == U'*' || p[i] == U'?') {
      token.kind = p[i++] == U'*' ? Kind::kStar : Kind::kAny;
    } else if (p[i] != U'[' || !ParseSet(p, &i, &token)) {
      if (p[i] == U'\\' && i + 1 < p.size()) ++i;
      token.c = p[i++];  // a kChar
    }
    pattern.tokens.push_back(std::move(token));
  }
  return pattern;
}

bool LayerFilter::OneMatches(const Token& token, char32_t c, bool path) const {
  if (path && c == U'/') return token.kind == Kind::kChar && token.c == U'/';
  switch (token.kind) {
    case Kind::kChar:
      return token.c == c || (ignoreCase_ && Lower(token.c) == Lower(c));
    case Kind::kSet:
      return token.negated != (InSet(token, c) || (ignoreCase_ && (InSet(token, Lower(c)) || InSet(token, Upper(c)))));
    default:
      return true;
  }
}

// Walks the pattern token by token over the set of places in the text it
// can have reached: time in proportion to the pattern's length times the
// text's, whatever the stars.
bool LayerFilter::Matches(const Pattern& pattern, const std::u32string& text) const {
  const size_t n = text.size();
  std::vector<char> at(n + 1, 0), next(n + 1);
  at[0] = 1;
  for (const Token& token : pattern.tokens) {
    std::fill(next.begin(), next.end(), 0);
    if (token.kind == Kind::kStar || token.kind == Kind::kGlobStar || token.kind == Kind::kGlobStarSlash) {
      const bool crossesSlash = token.kind != Kind::kStar || !pattern.path;
      for (size_t i = 0; i <= n; ++i) {
        next[i] = at[i] || (i > 0 && next[i - 1] && (crossesSlash || text[i - 1] != U'/'));
      }
    } else {
      for (size_t i = 0; i < n; ++i) next[i + 1] = at[i] && OneMatches(token, text[i], pattern.path);
    }
    if (token.kind == Kind::kGlobStarSlash) {  // "**/": no name at all, or any names each ended by "/"
      for (size_t i = n; i > 0; --i) next[i] = at[i] || (next[i - 1] && text[i - 1] == U'/');
      next[0] = at[0];
    }
    at.swap(next);
  }
  return at[n] != 0;
}

bool LayerFilter::Wants(const std::string& name, const std::vector<std::string>& groups) const {
  if (only_.empty() && skip_.empty()) return true;
  std::string path;
  for (const std::string& group : groups) path += group + '/';
  const std::u32string ownName = CodePoints(name), wholePath = CodePoints(path + name);
  const auto any = [&](const std::vector<Pattern>& patterns) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const Pattern& pattern) { return Matches(pattern, pattern.path ? wholePath : ownName); });
  };
  return (only_.empty() || any(only_)) && !any(skip_);
}

}  // namespace peelbox
