#pragma once
// Registers the codec benchmarks (encode, reduce; ours and giflib's).
// Makes the benchmark pictures first, which takes a moment.
void registerCodecBenchmarks();
