// Shared by the tests: temporary folders, documents written to disk, the
// corpus location, and receivers that record what a job sends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/messages.h"
#include "psd/document.h"
#include "tests/support/psd_builder.h"

namespace peelbox::test {

using psdbuild::ByteVector;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder with a trailing separator, as the job expects it.
  std::string Folder() const { return path_.string() + "/"; }
  std::string Write(const std::string& name, const ByteVector& bytes) const;
  std::vector<std::string> FileNames() const;  // sorted

 private:
  std::filesystem::path path_;
};

ByteVector ReadAll(const std::filesystem::path& path);

struct Status {
  std::string text;
  int progress = 0;
};

class RecordingSink : public StatusSink {
 public:
  void SendStatus(std::string text, int progress) override { statuses.push_back({std::move(text), progress}); }
  std::vector<Status> statuses;
};

struct Message {
  uint32_t message = 0;
  std::string text;
  uint32_t lParam = 0;
};

class RecordingReceiver : public RipMessageReceiver {
 public:
  void Send(uint32_t message, const char* text, uint32_t lParam) override {
    messages.push_back({message, text ? text : "", lParam});
  }
  std::vector<std::string> Texts() const;
  std::vector<Message> messages;
};

// A small valid RGB document: two resources, a 4x2 PackBits RGB layer and a
// 3x2 raw RGBA layer, and a raw composite.
psdbuild::DocumentRecipe SmallDocument();
// The reader's status texts for it, in order.
std::vector<std::string> SmallDocumentStatuses();
// A plane of `size` bytes counting up from `first`.
ByteVector Ramp(size_t size, uint8_t first = 0);

// Loads a document from bytes through a file, as the job does.
std::unique_ptr<PsdDocument> LoadBytes(const ByteVector& bytes, int32_t* result, StatusSink* sink = nullptr);
int32_t LoadResult(const ByteVector& bytes);

// The folder of real Photoshop documents with their expected results, or an
// empty path when it is not there (a plain checkout).
std::filesystem::path CorpusDir();
std::vector<std::filesystem::path> CorpusFiles();  // the documents, sorted

std::string SamplePath();

}  // namespace peelbox::test
