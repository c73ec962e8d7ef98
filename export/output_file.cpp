#include "export/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "export/export_result.h"

namespace peelbox {

namespace {

// A short fixed name, never built from the stem, so that it cannot pass the
// file system's name limit; hidden, so a half-written file does not show.
constexpr char kTemporaryPattern[] = ".peelbox-XXXXXX";

// What fopen would give: 0666 less the umask. The umask is read from the
// process's status where the system shows it; setting it to read it, the
// only other way, would race with any thread creating a file meanwhile.
mode_t CreationMode() {
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return 0666 & ~static_cast<mode_t>(mask);
  }
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool WriteAll(int descriptor, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = EIO;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

int32_t WriteFileAtomically(const std::string& folder, const std::string& path, const OutputBuffer& bytes,
                            int* error) {
  std::string temporary = folder + kTemporaryPattern;
  const int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) {
    *error = errno;
    return kCannotOpenOutput;
  }
  // mkstemp gives 0600, which a web server or a colleague could not read.
  bool written = fchmod(descriptor, CreationMode()) == 0 && WriteAll(descriptor, bytes.data(), bytes.size());
  *error = written ? 0 : errno;
  if (::close(descriptor) != 0 && written) {
    written = false;
    *error = errno;
  }
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return kExportOk;
  if (written) *error = errno;
  ::unlink(temporary.c_str());
  return kWriteFailed;
}

}  // namespace peelbox
