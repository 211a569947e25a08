// The 2-second rounding of FAT file systems: a time passed through the DOS
// date and time of local time and back, which cuts it to an even second.
#include "timecarry/timecarry.h"

bool round_to_dos_time(file_time value, file_time* rounded) {
  FILETIME utc = split_time(value);
  FILETIME local;
  WORD date, time;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time) ||
      !DosDateTimeToFileTime(date, time, &local) || !LocalFileTimeToFileTime(&local, &utc)) {
    return false;
  }
  *rounded = joined_time(utc);
  return true;
}
