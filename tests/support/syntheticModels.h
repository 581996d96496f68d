// Synthetic HMM sets in the text macro format, for tests and benchmarks.
#pragma once

#include <string>

// A text macro file of `modelNum` 5-state models (3 emitting states) with `streamNum` streams of
// 13 values and `mixtureNum` mixtures per stream. Names are context units "pN+pM" plus "sil" and
// "sp", all distinct; the numbers are pseudo-random but fixed by `seed`.
std::string syntheticMacroText(int modelNum, int streamNum, int mixtureNum, unsigned seed);
