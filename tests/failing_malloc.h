/* Forced into every source of the test build of setup.exe: the program's
   own allocations go through FailingMalloc instead, while the run-time's
   go on as ever. */
#ifndef FAILING_MALLOC_H
#define FAILING_MALLOC_H

#include <stdlib.h>

void *FailingMalloc(size_t size);
#define malloc FailingMalloc

#endif
