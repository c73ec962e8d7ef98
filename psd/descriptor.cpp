#include "psd/descriptor.h"

#include "psd/big_endian.h"

namespace peelbox {

namespace {

constexpr int kMaxDepth = 32;

// A bounded read position; once a read fails every later one does too.
class Walker {
 public:
  Walker(const uint8_t* data, size_t size, const std::function<void(const std::string&, int, bool)>& visit)
      : at_(data), end_(data + size), visit_(visit) {}

  bool Descriptor(int depth) {
    if (depth > kMaxDepth || !UnicodeString() || !Key()) return false;
    uint32_t count = 0;
    if (!Number(&count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      std::string key;
      if (!Key(&key) || !Value(key, depth)) return false;
    }
    return true;
  }

 private:
  bool Skip(uint64_t bytes) {
    if (bytes > static_cast<uint64_t>(end_ - at_)) return false;
    at_ += bytes;
    return true;
  }
  bool Number(uint32_t* value) {
    if (end_ - at_ < 4) return false;
    *value = LoadBigEndian<uint32_t>(at_);
    at_ += 4;
    return true;
  }
  bool Type(std::string* type) {
    if (end_ - at_ < 4) return false;
    type->assign(reinterpret_cast<const char*>(at_), 4);
    at_ += 4;
    return true;
  }
  // A length, then that many characters; a length of 0 means four.
  bool Key(std::string* key = nullptr) {
    uint32_t length = 0;
    if (!Number(&length)) return false;
    const uint32_t size = length == 0 ? 4 : length;
    if (size > static_cast<uint64_t>(end_ - at_)) return false;
    if (key != nullptr) key->assign(reinterpret_cast<const char*>(at_), size);
    at_ += size;
    return true;
  }
  // A count of UTF-16 units, then the units.
  bool UnicodeString() {
    uint32_t units = 0;
    return Number(&units) && Skip(uint64_t{units} * 2);
  }
  bool LengthAndData() {
    uint32_t length = 0;
    return Number(&length) && Skip(length);
  }

  bool Value(const std::string& key, int depth) {
    std::string type;
    if (!Type(&type)) return false;
    if (type == "bool") {
      if (at_ == end_) return false;
      visit_(key, depth, *at_++ != 0);
      return true;
    }
    if (type == "Objc" || type == "GlbO") return Descriptor(depth + 1);
    if (type == "ObAr") return Skip(4) && Descriptor(depth + 1);
    if (type == "VlLs") return List(depth + 1);
    if (type == "obj ") return Reference();
    if (type == "doub" || type == "comp") return Skip(8);
    if (type == "long") return Skip(4);
    if (type == "UntF") return Skip(12);
    if (type == "UnFl") {
      uint32_t count = 0;
      return Skip(4) && Number(&count) && Skip(uint64_t{count} * 8);
    }
    if (type == "TEXT") return UnicodeString();
    if (type == "enum") return Key() && Key();
    if (type == "type" || type == "GlbC") return UnicodeString() && Key();
    if (type == "alis" || type == "tdta" || type == "Pth ") return LengthAndData();
    return false;
  }

  // Items without keys, each with its type.
  bool List(int depth) {
    if (depth > kMaxDepth) return false;
    uint32_t count = 0;
    if (!Number(&count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      if (!Value({}, depth)) return false;
    }
    return true;
  }

  bool Reference() {
    uint32_t count = 0;
    if (!Number(&count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
      std::string type;
      if (!Type(&type) || !ReferenceItem(type)) return false;
    }
    return true;
  }
  bool ReferenceItem(const std::string& type) {
    if (type == "prop") return UnicodeString() && Key() && Key();
    if (type == "Clss") return UnicodeString() && Key();
    if (type == "Enmr") return UnicodeString() && Key() && Key() && Key();
    if (type == "rele") return UnicodeString() && Key() && Skip(4);
    if (type == "Idnt" || type == "indx") return Skip(4);
    if (type == "name") return UnicodeString() && Key() && UnicodeString();
    return false;
  }

  const uint8_t* at_;
  const uint8_t* end_;
  const std::function<void(const std::string&, int, bool)>& visit_;
};

}  // namespace

bool VisitDescriptorBooleans(const uint8_t* data, size_t size,
                             const std::function<void(const std::string& key, int depth, bool value)>& visit) {
  if (data == nullptr) return false;
  Walker walker(data, size, visit);
  return walker.Descriptor(1);
}

}  // namespace peelbox
