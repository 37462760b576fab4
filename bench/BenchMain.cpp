// The benchmark program. It runs from the build directory, where the module finds its sibling
// modules under ./_binLinux/, whatever directory it was started from.
#include <unistd.h>

#include <cstring>

#include "BenchSupport.h"

namespace {

// The references themselves, for the table: memcpy of an n x n 4-byte image, memset of it.
void BM_Memcpy(benchmark::State& state) {
  const size_t bytes = 4 * size_t(state.range(0)) * size_t(state.range(0));
  Buffer from(bytes), to(bytes);
  Measure(state, Traffic(2 * bytes), [&](Span&) {
    std::memcpy(to.data, from.data, bytes);
    return true;
  });
  state.SetBytesProcessed(static_cast<int64_t>(2 * bytes) * state.iterations());
}
void BM_Memset(benchmark::State& state) {
  const size_t bytes = 4 * size_t(state.range(0)) * size_t(state.range(0));
  Buffer to(bytes);
  int value = 0;
  Measure(state, Fill(bytes), [&](Span&) {
    std::memset(to.data, ++value, bytes);
    return true;
  });
  state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

}  // namespace

PXM_BENCH(BM_Memcpy);
PXM_BENCH(BM_Memset);

int main(int argc, char** argv) {
  if (chdir(PXM_MODULE_DIR "/..") != 0) return 1;
  Modules::Get();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
