#ifndef VQWBTONESEARCH_H
#define VQWBTONESEARCH_H

// The tone curve of the automatic white balance: a five-point spline
// table, and the search for its parameter by matching the luminance
// histogram against a stretched copy of itself. Private to the library
// (the tests reach it through the static twin).

#include "KXTonalAdjustments.h"

#include <array>

namespace VQWBDetail {

using Histogram = std::array<double, 256>;
using Bins = std::array<double, 8>;

// The table of parameter t (−1 … 1; above 0 darkens the middle tones) with
// its monotony repaired.
KXByteTable ToneTable(double t);

// The weighted distance of two 8-bin histograms, 0 when either is empty.
double HistogramDistance(const Bins& reference, const Bins& candidate);

// The histogram stretched over 0 … 255, poured out in steps of 10 in
// repeated passes. ByPasses runs the passes one by one; the other gives the
// same values directly (the passes take a time proportional to the largest
// count).
Histogram StretchedReference(const Histogram& histogram);
Histogram StretchedReferenceByPasses(const Histogram& histogram);

// The candidate k (0 … 39) whose tone table brings the histogram closest
// to the reference; 0 when no distance is usable.
int BestToneCandidate(const Histogram& histogram, const Histogram& reference);

// The parameter of candidate k: k × 0.0499 + 0.01 − 1.
inline double CandidateParameter(int k)
{
    return k * 0.0499 + 0.01 - 1.0;
}

} // namespace VQWBDetail

#endif // VQWBTONESEARCH_H
