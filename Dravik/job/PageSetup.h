#pragma once
#include <cstdint>

// Paper sizes above this Windows paper number may be unknown to the printers.
constexpr int32_t kHighestWindowsPaperSize = 118;

// The Windows paper number of Letter, A4, B5 or Legal nearest to a page of
// width x length tenths of a millimetre; the first in that order wins a tie.
int32_t NearestPaperSize(int32_t width, int32_t length);
// Gives both printers the job's page setup (the target on Legal for a cheque on
// Letter), and the target the job's copies and other requests.
void ApplyJobPageSetup();
