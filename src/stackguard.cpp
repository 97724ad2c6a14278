/* The stack protector's guard value and its failure path. The compiler puts
   the guard beside every local buffer and checks it on return; the
   toolchain's own support library seeds it with a function from a DLL that
   setup.exe does not otherwise load, so it is seeded here, as the system's
   own run-time does, from values an attacker cannot know in advance: the
   time, the process, a high-resolution counter, and where ASLR
   put the stack. */

#include <windows.h>

extern "C" {

UINT_PTR __stack_chk_guard = 0;

/* A smashed stack is not reported, not even to the user: whatever code runs
   now may be the attacker's. The process ends at once, with the status the
   system gives a buffer overrun. */
__attribute__((noreturn)) void __stack_chk_fail(void)
{
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

}

/* The run-time calls this before WinMain, from code that has no guard of
   its own; nor has this function, whose own frame would otherwise be
   checked against the guard it has just changed. */
__attribute__((constructor, no_stack_protector)) static void SeedStackGuard(void)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    UINT_PTR guard = now.dwLowDateTime ^ now.dwHighDateTime ^ GetCurrentProcessId()
                   ^ counter.LowPart ^ counter.HighPart ^ reinterpret_cast<UINT_PTR>(&guard);
    /* A NUL byte stops string overruns short of the rest of the guard. */
    __stack_chk_guard = guard & ~static_cast<UINT_PTR>(0xFF);
}
