#include "export/name_template.h"

#include <algorithm>
#include <iterator>

#include "export/file_name.h"
#include "psd/format_text.h"

namespace peelbox {

const char kNameFieldsSentence[] =
    "The fields are {name}, {doc}, {index}, {n}, {group}, {path}, {left}, {top}, {width}, {height} and {blend}; "
    "numbers take a width, as in {index:03}.";

namespace {

using Field = NameTemplate::Field;

struct FieldName {
  std::string_view name;
  Field field;
  bool number;  // takes a width
};

constexpr FieldName kFields[] = {
    {"name", Field::kName, false},    {"doc", Field::kDoc, false},     {"index", Field::kIndex, true},
    {"n", Field::kNumber, true},      {"group", Field::kGroup, false}, {"path", Field::kPath, false},
    {"left", Field::kLeft, true},     {"top", Field::kTop, true},      {"width", Field::kWidth, true},
    {"height", Field::kHeight, true}, {"blend", Field::kBlend, false},
};

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// A name that is blank, or a dot followed by nothing but dots and spaces,
// names nothing: "." and ".." are the folder itself and its parent, and
// some systems drop trailing dots and spaces, which makes ".. " the parent
// there. Values of fields never start with a dot.
bool NamesNothing(std::string_view name) {
  return name.find_first_not_of(' ') == std::string_view::npos ||
         (name.front() == '.' && name.find_first_not_of(". ") == std::string_view::npos);
}

std::string GroupName(const NameFields& fields, size_t g) {
  const size_t record = g < fields.groupRecords.size() ? fields.groupRecords[g] : 0;
  return MakeFileName(fields.groups[g], record + 1);
}

}  // namespace

std::optional<NameTemplate> NameTemplate::Parse(std::string_view text, std::string* error) {
  if (std::any_of(text.begin(), text.end(), IsControl)) {
    *error = "The template holds a control character.";
    return std::nullopt;
  }
  if (text.find('\\') != std::string_view::npos) {
    *error = "The template holds a \"\\\": folders are made with \"/\".";
    return std::nullopt;
  }
  NameTemplate parsed;
  std::vector<Piece>& pieces = parsed.pieces_;
  const auto literal = [&](char c) {
    if (pieces.empty() || pieces.back().kind != Piece::Kind::kText) pieces.emplace_back();
    pieces.back().text += c;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      literal(c);
      ++i;
    } else if (c == '{') {
      const size_t close = text.find('}', i);
      if (close == std::string_view::npos) {
        *error = "A \"{\" opens a field that is not closed; \"{{\" is a brace.";
        return std::nullopt;
      }
      if (!ParseField(text.substr(i + 1, close - i - 1), &pieces.emplace_back(), error)) return std::nullopt;
      i = close;
    } else if (c == '}') {
      *error = "A \"}\" closes no field; \"}}\" is a brace.";
      return std::nullopt;
    } else if (c == '/') {
      pieces.emplace_back().kind = Piece::Kind::kSeparator;
    } else {
      literal(c);
    }
  }
  if (!CheckComponents(pieces, error)) return std::nullopt;
  return parsed;
}

bool NameTemplate::ParseField(std::string_view inside, Piece* piece, std::string* error) {
  const size_t colon = inside.find(':');
  const std::string_view name = inside.substr(0, colon);
  const auto known =
      std::find_if(std::begin(kFields), std::end(kFields), [&](const FieldName& field) { return field.name == name; });
  const std::string written = "\"{" + std::string(inside) + "}\"";
  if (known == std::end(kFields)) {
    *error = written + " is not a field.";
    return false;
  }
  piece->kind = Piece::Kind::kField;
  piece->field = known->field;
  if (colon == std::string_view::npos) return true;
  const std::string_view width = inside.substr(colon + 1);
  if (!known->number) {
    *error = written + ": only numbers take a width.";
    return false;
  }
  if (width.size() != 2 || width[0] != '0' || width[1] < '1' || width[1] > '9') {
    *error = written + ": a width is \":0\" and one digit from 1 to 9.";
    return false;
  }
  piece->width = width[1] - '0';
  return true;
}

// Every name between the template's "/" holds something: no absolute path,
// no "//", and no "." or ".." that would leave the output folder.
bool NameTemplate::CheckComponents(const std::vector<Piece>& pieces, std::string* error) {
  if (pieces.empty()) {
    *error = "The template is empty.";
    return false;
  }
  size_t start = 0;
  for (size_t i = 0; i <= pieces.size(); ++i) {
    if (i < pieces.size() && pieces[i].kind != Piece::Kind::kSeparator) continue;
    if (i == start) {
      *error = i == 0 ? "The template starts with \"/\": files are named inside the output folder."
                      : "The template has an empty name between two \"/\" or after the last.";
      return false;
    }
    if (i == start + 1 && pieces[start].kind == Piece::Kind::kText && NamesNothing(pieces[start].text)) {
      *error = "The template has the name \"" + pieces[start].text +
               "\", which would leave the output folder or name no file.";
      return false;
    }
    start = i + 1;
  }
  return true;
}

std::string NameTemplate::Value(const Piece& piece, const NameFields& fields) {
  const size_t position = fields.index.value_or(0) + 1;
  const auto number = [&](int64_t value) { return FormatText("%0*lld", piece.width, static_cast<long long>(value)); };
  switch (piece.field) {
    case Field::kName:
      return MakeFileName(fields.name, position);
    case Field::kDoc:
      return MakeFileName(fields.doc, position);
    case Field::kIndex:
      return fields.index ? number(static_cast<int64_t>(*fields.index)) : std::string();
    case Field::kNumber:
      return number(static_cast<int64_t>(fields.number));
    case Field::kGroup:
      return fields.groups.empty() ? std::string() : GroupName(fields, fields.groups.size() - 1);
    case Field::kPath:
      break;  // several components: see Render
    case Field::kLeft:
      return number(fields.place.left);
    case Field::kTop:
      return number(fields.place.top);
    case Field::kWidth:
      return number(fields.place.width);
    case Field::kHeight:
      return number(fields.place.height);
    case Field::kBlend: {
      std::string key = fields.blendKey;
      std::erase(key, ' ');
      return MakeFileName(key, position);
    }
  }
  return {};
}

bool NameTemplate::UsesPlace() const {
  return std::any_of(pieces_.begin(), pieces_.end(), [](const Piece& piece) {
    return piece.kind == Piece::Kind::kField && (piece.field == Field::kLeft || piece.field == Field::kTop ||
                                                 piece.field == Field::kWidth || piece.field == Field::kHeight);
  });
}

std::vector<std::string> NameTemplate::Render(const NameFields& fields) const {
  std::vector<std::string> components(1);
  for (const Piece& piece : pieces_) {
    if (piece.kind == Piece::Kind::kSeparator) {
      components.emplace_back();
    } else if (piece.kind == Piece::Kind::kText) {
      components.back() += piece.text;
    } else if (piece.field != Field::kPath) {
      components.back() += Value(piece, fields);
    } else {
      for (size_t g = 0; g < fields.groups.size(); ++g) {
        if (g > 0) components.emplace_back();
        components.back() += GroupName(fields, g);
      }
    }
  }
  for (std::string& component : components) CutAtCharacter(&component, kMaxStemBytes);
  std::string stem = std::move(components.back());
  components.pop_back();
  std::erase_if(components, [](const std::string& folder) { return NamesNothing(folder); });
  components.push_back(NamesNothing(stem) ? MakeFileName("", fields.index.value_or(0) + 1) : std::move(stem));
  return components;
}

}  // namespace peelbox
