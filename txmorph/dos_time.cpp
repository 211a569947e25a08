// The last-write time carried from input to output as local MS-DOS date/time:
// 2-second steps, years 1980 to 2107. Creation and access times are left to
// the system.
#include "txmorph/txmorph.h"

namespace txmorph {

bool dosTimeOf(const FILETIME* written, DosDateTime* stamp) {
  FILETIME local;
  return FileTimeToLocalFileTime(written, &local) &&
         FileTimeToDosDateTime(&local, &stamp->date, &stamp->time);
}

bool readDosTime(HANDLE file, DosDateTime* stamp) {
  FILETIME written;
  return GetFileTime(file, nullptr, nullptr, &written) && dosTimeOf(&written, stamp);
}

bool writeDosTime(HANDLE file, const DosDateTime* stamp) {
  FILETIME local, written;
  return DosDateTimeToFileTime(stamp->date, stamp->time, &local) &&
         LocalFileTimeToFileTime(&local, &written) && SetFileTime(file, nullptr, nullptr, &written);
}

}  // namespace txmorph
