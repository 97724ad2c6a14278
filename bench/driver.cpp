/* benchdriver.exe: measures setup.exe against two reference programs built
   with the same toolchain and options: one that only shows the same message
   box, and one that only runs the same two stages. The programs run in turn,
   A B A B, after one warm-up run of each. Prints a table of the medians and
   writes it as JSON to bench.json beside this program.

   Usage: benchdriver.exe [rounds] */

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "benchconfig.h"
#include "imagesize.h"
#include "procstat.h"
#include "promptwatch.h"

static const int DEFAULT_ROUNDS = 15;
static const int WAIT_RUNS = 3;
static const DWORD STAGE_RUN_MS = 3000;
/* Both samples fall inside the stage's run, with room for reading /proc. */
static const DWORD WAIT_WINDOW_MS = 2800;
/* The box has painted and the program has settled before its memory is read. */
static const DWORD SETTLE_MS = 300;
/* Each run starts once Wine has cleaned up after the last one. */
static const DWORD QUIET_MS = 300;
/* The stages run a moment in the handoff runs, so that both launchers have
   long finished starting when the first one exits. */
static const DWORD HANDOFF_STAGE_RUN_MS = 300;
static const DWORD RUN_TIMEOUT_MS = 60000;
static const DWORD POLL_MS = 5;
static const double TICKS_PER_MS = 1e4;

static const unsigned long SIZE_TARGET_BYTES = 18432;
static const double RATIO_TARGET = 1.05;

static const char FOLDER_NAME[] = "bench-run";
static const char JSON_NAME[] = "bench.json";
static const char SETUP_INF_TEXT[] = BENCH_PRODUCT_NAME "\r\n";
static const char SETUP[] = "setup.exe";
static const char PROMPT_REFERENCE[] = "promptref.exe";
static const char LAUNCH_REFERENCE[] = "launchref.exe";
static const char STAGE[] = "benchstage.exe";
static const char *const STAGE_NAMES[] = {FIRST_STAGE_NAME, SECOND_STAGE_NAME};

static std::string buildFolder, runFolder;

static std::string InRun(const std::string &name)
{
    return runFolder + "\\" + name;
}

static bool PrepareFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    *strrchr(path, '\\') = '\0';
    buildFolder = path;
    runFolder = buildFolder + "\\" + FOLDER_NAME;
    CreateDirectoryA(runFolder.c_str(), nullptr);

    bool copied = true;
    for (const char *program : {SETUP, PROMPT_REFERENCE, LAUNCH_REFERENCE})
        copied &= !!CopyFileA((buildFolder + "\\" + program).c_str(), InRun(program).c_str(), FALSE);
    for (const char *stage : STAGE_NAMES)
        copied &= !!CopyFileA((buildFolder + "\\" + STAGE).c_str(),
                              InRun(std::string(stage) + ".exe").c_str(), FALSE);
    FILE *inf = fopen(InRun("setup.inf").c_str(), "wb");
    if (!inf)
        return false;
    fwrite(SETUP_INF_TEXT, 1, sizeof(SETUP_INF_TEXT) - 1, inf);
    fclose(inf);
    return copied;
}

static void DeleteStageFiles()
{
    for (const char *stage : STAGE_NAMES)
        for (const char *suffix : {STAGE_TIMES_SUFFIX, STAGE_RUNNING_SUFFIX})
            DeleteFileA(InRun(std::string(stage) + suffix).c_str());
}

static bool ReadStageTimes(const char *stage, unsigned long long *started, unsigned long long *ending)
{
    FILE *file = fopen(InRun(std::string(stage) + STAGE_TIMES_SUFFIX).c_str(), "r");
    if (!file)
        return false;
    bool read = fscanf(file, "%llu %llu", started, ending) == 2;
    fclose(file);
    return read;
}

/* Starts a program of the install folder once the system is quiet; its
   stages, if any, each run for stageRunMs. */
static bool StartInFolder(const char *program, DWORD stageRunMs, ProgramRun *run)
{
    DeleteStageFiles();
    Sleep(QUIET_MS);
    char runMs[16];
    snprintf(runMs, sizeof(runMs), "%lu", stageRunMs);
    SetEnvironmentVariableA(STAGE_RUN_VARIABLE, stageRunMs ? runMs : nullptr);
    bool started = StartProgram(InRun(program).c_str(), runFolder.c_str(), run);
    SetEnvironmentVariableA(STAGE_RUN_VARIABLE, nullptr);
    return started;
}

struct PromptFigures {
    double ms;
    double peakKiB;
    double reportedKiB;
};

/* From the creation of the process to its box being shown; then its peak
   memory while the box is up. */
static bool MeasurePrompt(const char *program, PromptFigures *figures)
{
    ProgramRun run;
    if (!StartInFolder(program, 0, &run))
        return false;
    bool measured = AwaitPrompt(&run, RUN_TIMEOUT_MS);
    if (measured) {
        figures->ms = (run.shownAt - run.startedAt) / TICKS_PER_MS;
        Sleep(SETTLE_MS);
        ProcessUsage usage;
        measured = ReadProcessUsage(run.process.hProcess, InRun(program).c_str(), &usage);
        figures->peakKiB = usage.peakKiB;
        figures->reportedKiB = usage.reportedKiB;
        AnswerPrompt(run, IDNO);
    }
    return FinishProgram(&run, RUN_TIMEOUT_MS) && measured;
}

/* From the first stage's exit to the second stage's start. */
static bool MeasureHandoff(const char *program, bool prompts, double *ms)
{
    ProgramRun run;
    if (!StartInFolder(program, HANDOFF_STAGE_RUN_MS, &run))
        return false;
    bool answered = !prompts || AwaitPrompt(&run, RUN_TIMEOUT_MS);
    if (prompts && answered)
        AnswerPrompt(run, IDYES);
    unsigned long long firstStart, firstEnd, secondStart, secondEnd;
    bool ended = FinishProgram(&run, RUN_TIMEOUT_MS);
    if (!answered || !ended || !ReadStageTimes(FIRST_STAGE_NAME, &firstStart, &firstEnd)
        || !ReadStageTimes(SECOND_STAGE_NAME, &secondStart, &secondEnd))
        return false;
    *ms = (static_cast<long long>(secondStart) - static_cast<long long>(firstEnd)) / TICKS_PER_MS;
    return true;
}

/* What setup.exe uses while its first stage runs for STAGE_RUN_MS. */
static bool MeasureWait(double *cpuMs, double *wakeups, double *windowMs)
{
    ProgramRun run;
    if (!StartInFolder(SETUP, STAGE_RUN_MS, &run))
        return false;

    bool measured = AwaitPrompt(&run, RUN_TIMEOUT_MS);
    if (measured) {
        AnswerPrompt(run, IDYES);
        std::string marker = InRun(std::string(FIRST_STAGE_NAME) + STAGE_RUNNING_SUFFIX);
        for (DWORD waited = 0; GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES;
             waited += POLL_MS) {
            if (waited >= RUN_TIMEOUT_MS)
                break;
            Sleep(POLL_MS);
        }
        ProcessUsage before, after;
        unsigned long long from = Now();
        measured = ReadProcessUsage(run.process.hProcess, InRun(SETUP).c_str(), &before);
        Sleep(WAIT_WINDOW_MS);
        measured = ReadProcessUsage(run.process.hProcess, InRun(SETUP).c_str(), &after) && measured;
        unsigned long long to = Now();
        *cpuMs = after.cpuMs - before.cpuMs;
        *wakeups = static_cast<double>(after.wakeups - before.wakeups);
        *windowMs = (to - from) / TICKS_PER_MS;

        /* The window counts only if the stage was still running at its end. */
        unsigned long long stageStart, stageEnd;
        measured = FinishProgram(&run, RUN_TIMEOUT_MS)
            && ReadStageTimes(FIRST_STAGE_NAME, &stageStart, &stageEnd) && stageEnd > to
            && measured;
        return measured;
    }
    FinishProgram(&run, RUN_TIMEOUT_MS);
    return false;
}

static double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

static std::string JsonList(const std::vector<double> &values)
{
    std::string list = "[";
    char number[32];
    for (size_t i = 0; i < values.size(); ++i) {
        snprintf(number, sizeof(number), "%s%.3f", i ? ", " : "", values[i]);
        list += number;
    }
    return list + "]";
}

static const char *Verdict(bool met)
{
    return met ? "met" : "MISSED";
}

static int Fail(const char *what)
{
    fprintf(stderr, "bench: %s failed\n", what);
    return 1;
}

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : DEFAULT_ROUNDS;
    if (rounds < 1)
        rounds = DEFAULT_ROUNDS;
    if (!PrepareFolder())
        return Fail("preparing the install folder");
    if (!WatchPrompts())
        return Fail("setting the WinEvent hook");

    ImageSize image;
    if (!MeasureImage(InRun(SETUP).c_str(), &image))
        return Fail("reading setup.exe");

    std::vector<double> promptSetup, promptRef, memSetup, memRef, reportedSetup, reportedRef;
    std::vector<double> handoffSetup, handoffRef, cpu, wakeups, windows;
    for (int round = 0; round <= rounds; ++round) {
        bool warmUp = round == 0;
        PromptFigures a, b;
        double handoffA, handoffB;
        if (!MeasurePrompt(SETUP, &a) || !MeasurePrompt(PROMPT_REFERENCE, &b))
            return Fail("a prompt run");
        if (!MeasureHandoff(SETUP, true, &handoffA) || !MeasureHandoff(LAUNCH_REFERENCE, false, &handoffB))
            return Fail("a handoff run");
        if (warmUp)
            continue;
        promptSetup.push_back(a.ms);
        promptRef.push_back(b.ms);
        memSetup.push_back(a.peakKiB);
        memRef.push_back(b.peakKiB);
        reportedSetup.push_back(a.reportedKiB);
        reportedRef.push_back(b.reportedKiB);
        handoffSetup.push_back(handoffA);
        handoffRef.push_back(handoffB);
        fprintf(stderr, "bench: round %d of %d done\n", round, rounds);
    }
    for (int round = 0; round < WAIT_RUNS; ++round) {
        double cpuMs, count, windowMs;
        if (!MeasureWait(&cpuMs, &count, &windowMs))
            return Fail("a wait run");
        cpu.push_back(cpuMs);
        wakeups.push_back(count);
        windows.push_back(windowMs);
    }
    StopWatchingPrompts();

    double prompt = Median(promptSetup) / Median(promptRef);
    double handoff = Median(handoffSetup) / Median(handoffRef);
    double memory = Median(memSetup) / Median(memRef);
    double cpuMedian = Median(cpu), wakeMedian = Median(wakeups);
    const char *memorySource = IsWine() ? "VmHWM of the Linux process" : "peak working set";

    printf("%-34s %12s %12s %8s  %-12s\n", "figure (median)", "setup.exe", "reference", "ratio", "target");
    printf("%-34s %12lu %12s %8s  <= %-9lu %s\n", "size, bytes", image.fileBytes, "", "",
           SIZE_TARGET_BYTES, Verdict(image.fileBytes <= SIZE_TARGET_BYTES));
    printf("%-34s %12lu\n", "  resource section, bytes", image.resourceSectionBytes);
    printf("%-34s %12lu\n", "  icon data, bytes", image.iconBytes);
    printf("%-34s %12.2f %12.2f %8.3f  <= %.2fx     %s\n", "time to prompt, ms", Median(promptSetup),
           Median(promptRef), prompt, RATIO_TARGET, Verdict(prompt <= RATIO_TARGET));
    printf("%-34s %12.2f %12.2f %8.3f  <= %.2fx     %s\n", "handoff between stages, ms",
           Median(handoffSetup), Median(handoffRef), handoff, RATIO_TARGET, Verdict(handoff <= RATIO_TARGET));
    printf("%-34s %12.3f %12s %8s  0            %s\n", "CPU while a stage runs 3 s, ms", cpuMedian, "", "",
           Verdict(cpuMedian == 0));
    printf("%-34s %12.0f %12s %8s  0            %s\n", "wake-ups while a stage runs 3 s", wakeMedian, "", "",
           Verdict(wakeMedian == 0));
    printf("%-34s %12.0f %12.0f %8.3f  <= %.2fx     %s\n", "peak memory, KiB", Median(memSetup),
           Median(memRef), memory, RATIO_TARGET, Verdict(memory <= RATIO_TARGET));
    printf("(%d rounds after a warm-up, %d wait runs of %.0f ms each; peak memory: %s;"
           " the Win32 API reports %.0f and %.0f KiB)\n", rounds, WAIT_RUNS, Median(windows),
           memorySource, Median(reportedSetup), Median(reportedRef));

    std::string jsonPath = buildFolder + "\\" + JSON_NAME;
    FILE *json = fopen(jsonPath.c_str(), "w");
    if (!json)
        return Fail("writing bench.json");
    const char *wine = WineBuild();
    if (wine)
        fprintf(json, "{\n  \"wine\": \"%s\",\n", wine);
    else
        fprintf(json, "{\n  \"wine\": null,\n");
    fprintf(json, "  \"rounds\": %d,\n", rounds);
    fprintf(json, "  \"size\": {\"bytes\": %lu, \"resource_section_bytes\": %lu, \"icon_bytes\": %lu,"
                  " \"target_bytes\": %lu},\n",
            image.fileBytes, image.resourceSectionBytes, image.iconBytes, SIZE_TARGET_BYTES);
    fprintf(json, "  \"time_to_prompt_ms\": {\"setup\": %.3f, \"reference\": %.3f, \"ratio\": %.4f,"
                  " \"target_ratio\": %.2f,\n    \"setup_runs\": %s,\n    \"reference_runs\": %s},\n",
            Median(promptSetup), Median(promptRef), prompt, RATIO_TARGET,
            JsonList(promptSetup).c_str(), JsonList(promptRef).c_str());
    fprintf(json, "  \"handoff_ms\": {\"setup\": %.3f, \"reference\": %.3f, \"ratio\": %.4f,"
                  " \"target_ratio\": %.2f,\n    \"setup_runs\": %s,\n    \"reference_runs\": %s},\n",
            Median(handoffSetup), Median(handoffRef), handoff, RATIO_TARGET,
            JsonList(handoffSetup).c_str(), JsonList(handoffRef).c_str());
    fprintf(json, "  \"wait\": {\"stage_run_ms\": %lu, \"cpu_ms\": %.3f, \"wakeups\": %.0f,"
                  " \"target_cpu_ms\": 0, \"target_wakeups\": 0,\n    \"window_ms_runs\": %s,"
                  "\n    \"cpu_ms_runs\": %s,\n    \"wakeup_runs\": %s},\n",
            STAGE_RUN_MS, cpuMedian, wakeMedian, JsonList(windows).c_str(),
            JsonList(cpu).c_str(), JsonList(wakeups).c_str());
    fprintf(json, "  \"peak_memory_kib\": {\"setup\": %.0f, \"reference\": %.0f, \"ratio\": %.4f,"
                  " \"target_ratio\": %.2f, \"source\": \"%s\",\n"
                  "    \"win32_reported\": {\"setup\": %.0f, \"reference\": %.0f},\n"
                  "    \"setup_runs\": %s,\n    \"reference_runs\": %s}\n}\n",
            Median(memSetup), Median(memRef), memory, RATIO_TARGET, memorySource,
            Median(reportedSetup), Median(reportedRef), JsonList(memSetup).c_str(), JsonList(memRef).c_str());
    fclose(json);
    return 0;
}
