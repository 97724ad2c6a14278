#ifndef PROCSTAT_H
#define PROCSTAT_H

#include <windows.h>

/* What another process has used so far. Under Wine the system calls that
   report on another process do not see its Linux process, so these come
   from /proc there; on Windows, from the system. */
struct ProcessUsage {
    double cpuMs;                    /* on a processor, all threads */
    unsigned long long wakeups;      /* voluntary context switches, all threads */
    unsigned long long peakKiB;      /* peak resident set / working set */
    unsigned long long reportedKiB;  /* the peak working set the Win32 API reports */
};

bool IsWine();
/* Wine's build as `wine --version` names it, or null on Windows. */
const char *WineBuild();

/* imagePath: the full path the process was started from, which Wine shows
   as the Linux process's command line. */
bool ReadProcessUsage(HANDLE process, const char *imagePath, ProcessUsage *usage);

#endif
