// File names by template, such as "{doc}_{group}_{name}@{index}": each
// layer's path relative to the output folder, without the extension.
// Whatever a document's names hold, the path stays inside the folder: only
// the template's own "/" and the separators of {path} make folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/image_place.h"

namespace peelbox {

// What one layer's fields are made of; names as the document holds them.
struct NameFields {
  std::string name;
  std::string doc;                   // the document's file name without its extension
  std::optional<size_t> index;       // none for a flattened document's Background
  size_t number = 0;                 // {n}
  std::vector<std::string> groups;   // outermost first
  std::vector<size_t> groupRecords;  // the groups' own records, in the same order
  ImagePlace place;
  std::string blendKey;
};

// "The fields are {name}, {doc}, ...": for messages about a template.
extern const char kNameFieldsSentence[];

class NameTemplate {
 public:
  enum class Field { kName, kDoc, kIndex, kNumber, kGroup, kPath, kLeft, kTop, kWidth, kHeight, kBlend };

  // The template of this text, or none and, in *error, a sentence that says
  // what is wrong.
  static std::optional<NameTemplate> Parse(std::string_view text, std::string* error);

  // The path's components: the folders, outermost first, then the stem.
  // Each field's value is made safe by the file-name rules (a group's by its
  // own record's position); a folder that comes out blank, or a dot
  // followed only by dots and spaces, is left out, and such a stem becomes
  // "Layer N". No component holds "/" or is longer than kMaxStemBytes.
  std::vector<std::string> Render(const NameFields& fields) const;
  // Whether it holds {left}, {top}, {width} or {height}.
  bool UsesPlace() const;

 private:
  struct Piece {
    enum class Kind { kText, kSeparator, kField } kind = Kind::kText;
    std::string text;
    Field field = Field::kName;
    int width = 0;  // digits to pad a number to with zeros; 0 for none
  };
  static bool ParseField(std::string_view inside, Piece* piece, std::string* error);
  static bool CheckComponents(const std::vector<Piece>& pieces, std::string* error);
  static std::string Value(const Piece& piece, const NameFields& fields);

  std::vector<Piece> pieces_;
};

}  // namespace peelbox
