#ifndef BENCHCONFIG_H
#define BENCHCONFIG_H

/* The install folder the benchmark runs setup.exe in. The reference programs
   use the same product name, texts and stage command lines as setup.exe, so
   that only the programs differ. */
#define BENCH_PRODUCT_NAME "Bench Product"
#define BENCH_PROMPT_TEXT "Do you wish to install " BENCH_PRODUCT_NAME "?"
#define BENCH_PROMPT_CAPTION "Install"
#define FIRST_STAGE_NAME "VBRun60sp5"
#define SECOND_STAGE_NAME "phase2"
#define FIRST_STAGE_COMMAND FIRST_STAGE_NAME ".exe /Q"
#define SECOND_STAGE_COMMAND SECOND_STAGE_NAME ".exe"

/* A stage writes <name><STAGE_TIMES_SUFFIX> as it ends: the system time, in
   100 ns units, at which it started and at which it was about to exit. Given
   a number of milliseconds in STAGE_RUN_VARIABLE it runs that long, and
   first creates <name><STAGE_RUNNING_SUFFIX> to say that it has started. */
#define STAGE_TIMES_SUFFIX ".times"
#define STAGE_RUNNING_SUFFIX ".running"
#define STAGE_RUN_VARIABLE "BENCHSTAGE_RUN_MS"

#endif
