#pragma once
// Registers the encode benchmarks (ours and giflib's).
// Makes the benchmark pictures first, which takes a moment.
void registerCodecBenchmarks();
