// Exponential, sine and cosine computed the same way on every target.
//
// The C libraries of our targets (glibc on x86-64 and i386, the Windows
// runtime) do not agree on the last bit of exp, sin and cos, and on i386
// some of them use the x87 unit. The filter design rounds these results to
// 32-bit floats, so one bit of difference can change a coefficient and with
// it every sample after. These versions use plain double arithmetic only
// (no fused multiply-add, no long double), so every target computes the same
// bits. Accuracy is within one unit in the last place.
#pragma once

namespace halvorine::dsp {

double detExp(double x);
double detSin(double x);
double detCos(double x);

}  // namespace halvorine::dsp
