#ifndef RUNNER_H
#define RUNNER_H

/* CreateProcessA may write into the command line it is given, so this takes
   a writable string, never a literal. */
void RunAndWait(char *commandLine);

#endif
