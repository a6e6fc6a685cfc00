#pragma once

// What the benchmarks and the tests that measure share.

// Processor time this process has used, in seconds.
double processCpuSeconds();
// Benchmarks and tests show no window: Qt's offscreen platform, unless another is asked for.
void useOffscreenUnlessSet();
