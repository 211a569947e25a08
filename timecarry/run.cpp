// The record of one run and its constant sources.
#include "timecarry/timecarry.h"

void init_run(timecarry_run* run) {
  run->exit_status = exit_nothing_done;
  run->preview = false;
  run->save = false;
  run->saved = time_write;
  run->illegal = illegal_letter;
  run->illegal_at = 0;
  run->native = native_api{nullptr, nullptr, nullptr};
  for (int i = 0; i < time_count; i++) {
    run->source_times[i] = 0;
    run->new_times[i] = 0;
  }
  run->new_times_given = 0;
  run->string_reads = 0;
  run->string_reads_known = false;
}

// Every file of the run gets the same "now", taken to the millisecond.
void set_constant_sources(timecarry_run* run) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  FILETIME time;
  SystemTimeToFileTime(&now, &time);
  run->source_times[time_preserve] = time_all_ones;
  run->source_times[time_maximum] = time_largest;
  run->source_times[time_now] = joined_time(time);
}
