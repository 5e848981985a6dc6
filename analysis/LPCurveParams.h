#pragma once

// The constants of an LP curve: the medium's density and susceptibility for
// a gadolinium concentration and the field polynomial over the height
// between the magnets, with which the batch analysis turns a cell's height
// into its LP value. Sets are hand-made ".LP_curve_params" files (section
// [LPCurveParams]) in the LIB folder of the data root; the program never
// writes them.

#include "platform/CString.h"

struct LPCurveParams {
    bool loaded = false;  // set by a load without problems
    double Gd_conc = 0.0;  // millimolar, as passed to the load
    double ChiGd_factor = 0.0;
    double rhobuffer = 0.0;
    double rohf = 0.0;  // medium density: 0.275 x Gd_conc + rhobuffer
    double ChiGd = 0.0;  // ChiGd_factor x Gd_conc
    double munot = 0.0;
    double g = 0.0;
    double constant = 0.0;
    double linear = 0.0;
    double square = 0.0;
    double cubic = 0.0;
    double mag_gap = 0.0;
    double ChiPar = 0.0;  // 0 when the file has none

    // Reads the set for a concentration. A missing file appends
    // "Missing file: <path>\n" to `error` and changes nothing. Otherwise every
    // value read is stored; a missing, unparsable or NaN key makes the result
    // false with `error` = path + ":\n" + one message per such key.
    bool LoadFromFile(double gdConc, const char* path, CString& error);

    // The LP value at height z (millimetres above the lower magnet).
    double LPValue(double z) const;
};
