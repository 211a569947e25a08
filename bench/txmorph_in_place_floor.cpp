// The floor for rewriting a file in place as safely as txmorph does: the file
// system's work alone, with no text converted. For FILE and the new text's
// SIZE, the steps txmorph takes for a run of its own:
//   the old text copied beside the file into an unnamed file (8 MB at a time,
//   each piece started for the disk as it is made), flushed, named, the
//   folder flushed;
//   room for SIZE had; SIZE bytes read from the copy and written over the
//   file from its start (the new text's bytes are the copy's own, read again
//   from its start where it is shorter: only their number matters), started
//   for the disk 8 MB at a time; the file cut to SIZE and flushed;
//   the copy renamed, the folder flushed, the copy removed and closed.
// No clone is asked for (txmorph asks for one first); copy_file_range may
// still share the blocks where the file system does so itself (btrfs), so
// there the floor is that of a clone. Exits 1, saying which step failed, on
// any failure.
//
// usage: bench_txmorph_in_place_floor FILE SIZE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

constexpr off_t kBehind = off_t{8} << 20;   // started for the disk at a time
constexpr size_t kPiece = size_t{4} << 20;  // read from the copy at a time

bool fail(const char* step) {
  fprintf(stderr, "bench_txmorph_in_place_floor: %s: %s\n", step, strerror(errno));
  return false;
}

// `from` copied into `to` by the kernel, each 8 MB started for the disk.
bool copy(int from, int to, off_t size) {
  off_t in = 0;
  off_t out = 0;
  off_t started = 0;
  while (in < size) {
    off_t left = size - in;
    ssize_t n = copy_file_range(from, &in, to, &out,
                                static_cast<size_t>(left < kBehind ? left : kBehind), 0);
    if (n <= 0) return fail("copy_file_range");
    if (out - started >= kBehind) {
      sync_file_range(to, started, out - started, SYNC_FILE_RANGE_WRITE);
      started = out;
    }
  }
  return true;
}

// `size` bytes of `from` (again from its start where it is shorter) written
// over `to` from its start.
bool overwrite(int from, int to, off_t size, off_t fromSize) {
  char* piece = static_cast<char*>(malloc(kPiece));
  if (piece == nullptr) return fail("malloc");
  off_t at = 0;
  off_t started = 0;
  bool written = true;
  while (written && at < size) {
    size_t want = size - at < static_cast<off_t>(kPiece) ? static_cast<size_t>(size - at) : kPiece;
    off_t in = at % fromSize;
    if (fromSize - in < static_cast<off_t>(want)) want = static_cast<size_t>(fromSize - in);
    ssize_t got = pread(from, piece, want, in);
    written = got > 0 && pwrite(to, piece, static_cast<size_t>(got), at) == got;
    if (!written) break;
    at += got;
    if (at - started >= kBehind) {
      sync_file_range(to, started, at - started, SYNC_FILE_RANGE_WRITE);
      started = at;
    }
  }
  free(piece);
  return written || fail("overwrite");
}

bool rewrite(const char* path, off_t size) {
  std::string name = path;
  size_t slash = name.rfind('/');
  std::string folderName = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  std::string copyName = "." + leaf + ".floor~";
  std::string doneName = copyName + "done";
  int file = open(path, O_RDWR | O_CLOEXEC);
  int folder = open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (file < 0 || folder < 0 || fstat(file, &st) != 0) return fail("open");
  int kept = openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (kept < 0) return fail("O_TMPFILE");
  std::string self = "/proc/self/fd/" + std::to_string(kept);
  if (!copy(file, kept, st.st_size)) return false;
  if (fsync(kept) != 0) return fail("fsync copy");
  unlinkat(folder, copyName.c_str(), 0);  // left by a floor that failed
  if (linkat(AT_FDCWD, self.c_str(), folder, copyName.c_str(), AT_SYMLINK_FOLLOW) != 0 ||
      fsync(folder) != 0) {
    return fail("name copy");
  }
  // Room for a text that grows is had first, as txmorph has it.
  if (size > st.st_size && posix_fallocate(file, st.st_size, size - st.st_size) != 0) {
    return fail("posix_fallocate");
  }
  if (!overwrite(kept, file, size, st.st_size)) return false;
  if (ftruncate(file, size) != 0 || fsync(file) != 0 || close(file) != 0) return fail("cut");
  if (renameat(folder, copyName.c_str(), folder, doneName.c_str()) != 0 || fsync(folder) != 0 ||
      unlinkat(folder, doneName.c_str(), 0) != 0) {
    return fail("remove copy");
  }
  return close(kept) == 0 && close(folder) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bench_txmorph_in_place_floor FILE SIZE\n");
    return 2;
  }
  return rewrite(argv[1], static_cast<off_t>(strtoll(argv[2], nullptr, 10))) ? 0 : 1;
}
