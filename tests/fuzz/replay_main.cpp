// Replays a fuzz target's corpus as a regression test: every file of the
// directories (or the files) named on the command line goes through the
// target's LLVMFuzzerTestOneInput once, in name order. A finding aborts.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool read_file(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  uint8_t block[4096];
  size_t got;
  while ((got = fread(block, 1, sizeof block, file)) > 0)
    bytes->insert(bytes->end(), block, block + got);
  bool ok = ferror(file) == 0;
  fclose(file);
  return ok;
}

// The files a command-line argument names: itself, or a directory's files.
bool collect(const std::string& path, std::vector<std::string>* files) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    files->push_back(path);
    return true;
  }
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    std::string full = path + "/" + name;
    if (name[0] != '.' && stat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      names.push_back(full);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  files->insert(files->end(), names.begin(), names.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; i++) {
    if (!collect(argv[i], &files)) {
      fprintf(stderr, "cannot read %s\n", argv[i]);
      return 2;
    }
  }
  if (files.empty()) {
    fprintf(stderr, "no inputs\n");
    return 2;
  }
  std::vector<uint8_t> bytes;
  for (const std::string& file : files) {
    if (!read_file(file, &bytes)) {
      fprintf(stderr, "cannot read %s\n", file.c_str());
      return 2;
    }
    fprintf(stderr, "%s\n", file.c_str());
    // A block of exactly the input's size, so that a sanitizer sees any read
    // past its end (as under the fuzzer).
    uint8_t* exact = static_cast<uint8_t*>(malloc(bytes.size()));
    if (exact == nullptr && !bytes.empty()) return 2;
    std::copy(bytes.begin(), bytes.end(), exact);
    LLVMFuzzerTestOneInput(exact, bytes.size());
    free(exact);
  }
  fprintf(stderr, "%zu inputs replayed\n", files.size());
  return 0;
}
