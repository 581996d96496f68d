// Instruction sets of the component-distance kernels of emissionScorer. All of them give the same
// bits; the choice only changes the speed.
#pragma once

enum class scoringIsa {
    baseline, // four lanes of the base instruction set (SSE2 on x86-64)
    avx2,     // eight lanes, when the processor has AVX2
};

// The kernels in use: AVX2 when the processor has it, else the baseline.
scoringIsa scoringIsaInUse();
// Switches every scorer to `isa` (for tests and benchmarks, not while scoring in another thread);
// false, and nothing changed, when the processor lacks it.
bool scoringUseIsa(scoringIsa isa);
