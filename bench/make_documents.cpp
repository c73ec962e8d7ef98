// Writes the standard benchmark documents.
//   bench_documents FOLDER [typical] [large] [typical16] [cmyk] [many]
#include <cstdio>
#include <string>

#include "bench/documents.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [typical] [large]\n", argv[0]);
    return 2;
  }
  for (int i = argc > 2 ? 2 : 1; i < argc; ++i) {
    const std::string name = argc > 2 ? argv[i] : "typical";
    const psdbuild::ByteVector bytes = psdbuild::BuildDocument(peelbox::bench::DocumentNamed(name)).bytes;
    const std::string path = std::string(argv[1]) + "/" + name + ".psd";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
      std::perror(path.c_str());
      return 1;
    }
    std::printf("%s: %.1f MB\n", path.c_str(), bytes.size() / 1e6);
  }
  return 0;
}
