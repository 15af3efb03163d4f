#pragma once
// Arithmetic of the transforms and kernel products inside the iterations.
namespace contribution {

// double_precision: every operator application in double precision.
// mixed: iterative refinement: residuals of the double-precision operator,
// corrections solved with transforms and kernel products in single precision,
// until the last correction meets the same update-norm tolerance.
enum class Precision { double_precision, mixed };

const char* describe(Precision precision);  // "double" or "mixed"

// "double" or "mixed" (as describe writes them) into precision; false for
// anything else, leaving precision unchanged.
bool parse_precision(const char* text, Precision& precision);

}  // namespace contribution
