// bench/explore_bench.cpp: explores the whole reachable state space of model files and reports
// states handed out, states stored, time, rate and peak memory.
//   explore_bench [--packed] [--stack] [--hull] [--bits] [--reduction N] [--reuse] MODEL.gta...
// Default options as the server's: breadth-first queue, classic passed list, reduction 1.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/enumeration.h"
#include "engine/passed_list.h"
#include "engine/waiting_list.h"
#include "gta/parser.h"
#include "model/global_state.h"
#include "model/system.h"
#include "trace/trace.h"

namespace {

struct Options {
  bool packed = false;
  bool stack = false;
  bool hull = false;
  bool bits = false;
  bool reuse = false;
  int reduction = 1;
};

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double peakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

int explore(const char* path, const Options& options) {
  std::ifstream file(path);
  if (!file) {
    std::fprintf(stderr, "%s: cannot read\n", path);
    return 1;
  }
  std::stringstream text;
  text << file.rdbuf();
  ParseResult parsed = parseSystem(text.str());
  if (!parsed.system) {
    std::fprintf(stderr, "%s: rejected\n%s", path, parsed.diagnostics.c_str());
    return 1;
  }
  Ref<System> system = parsed.system;
  Ref<GlobalStateHasher> discrete = system->makeDiscreteHasher();
  Ref<PassedListFactory> passedFactory;
  if (options.bits)
    passedFactory = new BitStatePassedListFactory(system->makeZoneHasher(), bitStateBits);
  else if (options.hull)
    passedFactory = new ConvexHullPassedListFactory(discrete, passedListBuckets);
  else
    passedFactory = new ClassicPassedListFactory(discrete, passedListBuckets, options.packed);
  Ref<WaitingListFactory> waitingFactory;
  if (options.hull && options.stack)
    waitingFactory = new ConvexHullWaitingStackFactory(discrete, waitingListBuckets);
  else if (options.hull)
    waitingFactory = new ConvexHullWaitingQueueFactory(discrete, waitingListBuckets);
  else if (options.stack)
    waitingFactory = new WaitingStackFactory(discrete, waitingListBuckets);
  else
    waitingFactory = new WaitingQueueFactory(discrete, waitingListBuckets);
  Ref<TraceStore> traces = new NullTraceStore;

  auto begin = std::chrono::steady_clock::now();
  double cpuBegin = cpuSeconds();
  Ref<PassedList> passed = passedFactory->create();
  Ref<GenericStateSpaceEnumeration> generic = new GenericStateSpaceEnumeration(
      system, passed, waitingFactory->create(), traces, options.reduction);
  Ref<StateSpaceEnumeration> enumeration = generic;
  if (options.reuse)
    enumeration = new CachingStateSpaceEnumeration(generic, system, passed, traces);
  enumeration->reset(system->initialState(false));
  GlobalState::destroyAllRegistered();
  long handedOut = 0;
  int waitingPeak = 0;
  WaitingList* waiting = generic->waitingList();
  while (Ref<GlobalState> state = enumeration->next()) {
    ++handedOut;
    if (waiting->size() > waitingPeak) waitingPeak = waiting->size();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  double cpu = cpuSeconds() - cpuBegin;
  long stored = -1;
  if (auto* hashed = dynamic_cast<HashBasedPassedList*>(passed.get()))
    stored = long(hashed->storedCount());
  const char* name = std::strrchr(path, '/') ? std::strrchr(path, '/') + 1 : path;
  std::printf(
      "%-18s handed out %9ld  stored %9ld  wall %8.3f s  cpu %8.3f s  %9.0f states/s"
      "  peak %7.1f MiB\n",
      name, handedOut, stored, seconds, cpu, cpu > 0 ? handedOut / cpu : 0.0, peakMiB());
  std::printf(
      "%-18s largest waiting list %d entries, %ld discrete parts stored\n", "", waitingPeak,
      stored < 0 ? -1L : long(dynamic_cast<HashBasedPassedList*>(passed.get())->groupCount()));
  std::fflush(stdout);
  passed->clear();
  enumeration = nullptr;
  generic = nullptr;
  GlobalState::destroyAllRegistered();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = 0;
  for (int k = 1; k < argc; ++k) {
    const char* arg = argv[k];
    if (!std::strcmp(arg, "--packed"))
      options.packed = true;
    else if (!std::strcmp(arg, "--stack"))
      options.stack = true;
    else if (!std::strcmp(arg, "--hull"))
      options.hull = true;
    else if (!std::strcmp(arg, "--bits"))
      options.bits = true;
    else if (!std::strcmp(arg, "--reuse"))
      options.reuse = true;
    else if (!std::strcmp(arg, "--reduction") && k + 1 < argc)
      options.reduction = std::atoi(argv[++k]);
    else
      status |= explore(arg, options);
  }
  return status;
}
