// What every benchmark shares: the module loaded by path as a host loads it, objects created by
// class name, source images of the bench's own, bitmap files in the page cache, and the memcpy /
// memset reference that turns a time into "x traffic".
#pragma once
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pxm/ComPtr.h"
#include "pxm/Module.h"
#include "pxm/PXM.h"

// The module and the host module, loaded once; null creators when a class is missing.
struct Modules {
  static Modules& Get();
  PXMCreatorFunction Creator(const wchar_t* className) const;
  template <class I>
  ComPtr<I> Create(const wchar_t* className, const IID& iid) const {
    ComPtr<I> object;
    if (PXMCreatorFunction creator = Creator(className)) creator(nullptr, &iid, object.Out());
    return object;
  }
  PXMCreateFunction createFunction = nullptr;
  void* host = nullptr;  // DuvirovurozAd, for memory streams
  template <class F>
  F HostSymbol(const char* name) const {
    return host ? reinterpret_cast<F>(dlsym(host, name)) : nullptr;
  }
};

// A pre-touched buffer on huge pages where the platform allows; freed with free.
struct Buffer {
  explicit Buffer(size_t bytes);
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer();
  uint8_t* data = nullptr;
  size_t size = 0;
};

// Fills bytes with a repeatable pseudo-random pattern.
void FillRandom(uint8_t* data, size_t size, uint32_t seed);

// A source image of the bench's own: one plane of any depth and code, rows top-down.
ComPtr<IPXMImage> MakeSourceImage(uint32_t width, uint32_t height, uint32_t bitsPerPixel, uint32_t fourcc,
                               uint32_t seed = 1);

// A bitmap file of the shape a benchmark's arguments give (width, height, bits per pixel: 8-bit
// with a grey palette, 24- or 32-bit) written once into the temporary folder and read once so that
// it sits in the page cache.
struct BitmapFileInCache {
  std::string path;
  size_t bytes;
};
BitmapFileInCache BitmapFile(const benchmark::State& state);

// What an operation is held against: glibc memcpy moving bytes/2 (so `bytes` of traffic, read
// plus written), or memset writing `bytes`. It runs on pre-touched memory after every iteration
// of the operation, so both see the same load on this shared machine.
struct Reference {
  enum Kind { Memcpy, Memset } kind;
  size_t bytes;
};
inline Reference Traffic(size_t bytes) { return {Reference::Memcpy, bytes}; }
inline Reference Fill(size_t bytes) { return {Reference::Memset, bytes}; }

class ReferenceRunner {
 public:
  explicit ReferenceRunner(const Reference& reference);
  double Run();  // seconds of one run

 private:
  Reference m_Reference;
  Buffer m_To, m_From;
  int m_Value = 0;
};

// The clock of every figure: this thread's CPU time (user and system, so page faults and the
// kernel's copies count). The machine is shared: wall time would also count other processes' turns.
struct CpuClock {
  static double Now();
};

// The measured span of one iteration: the whole op, unless it marks a narrower span itself
// (setup and teardown outside it, e.g. creating and releasing the object).
struct Span {
  double begin = CpuClock::Now(), end = -1;
  void Start() { begin = CpuClock::Now(); }
  void Stop() { end = CpuClock::Now(); }
};

// Runs op(span) once per iteration under manual timing, the reference after it, and reports
// "x_traffic" = median reference seconds / median seconds of the op. An op returning false stops
// the benchmark with an error.
double Median(std::vector<double> values);
template <class Op>
void Measure(benchmark::State& state, const Reference& reference, Op&& op) {
  ReferenceRunner runner(reference);
  std::vector<double> times, references;
  for (auto _ : state) {
    Span span;
    const bool ok = op(span);
    if (span.end < 0) span.Stop();
    const double seconds = span.end - span.begin;
    state.SetIterationTime(seconds);
    if (!ok) {
      state.SkipWithError("the operation failed (not implemented in this build?)");
      return;
    }
    times.push_back(seconds);
    references.push_back(runner.Run());
  }
  if (!times.empty()) state.counters["x_traffic"] = Median(references) / Median(times);
}

// Benchmarks are registered with these: real time, milliseconds, sizes 1024² and 4096².
inline benchmark::internal::Benchmark* Shape(benchmark::internal::Benchmark* b) {
  return b->UseManualTime()->Unit(benchmark::kMillisecond)->Arg(1024)->Arg(4096);
}
#define PXM_BENCH(fn) BENCHMARK(fn)->Apply([](benchmark::internal::Benchmark* b) { Shape(b); })
