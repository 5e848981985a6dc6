#include "analysis/LPCurveParams.h"

#include "platform/Files.h"
#include "support/Profile.h"

#include <cmath>
#include <cstdio>
#include <string>

bool LPCurveParams::LoadFromFile(double gdConc, const char* path, CString& error)
{
    const std::string given = path ? path : "";
    std::string file = platform::FindFileIgnoringCase(platform::NativePath(given));
    if (file.empty() || platform::DirectoryExists(file)) {
        error += "Missing file: ";
        error += given.c_str();
        error += "\n";
        return false;
    }

    // Only the first three messages end in a line break, as the sets' users
    // have always seen them.
    const struct {
        const char* key;
        double* field;
        const char* message;
    } keys[] = {
        {"ChiGd_factor", &ChiGd_factor, "ChiGd_factor missing or invalid\n"},
        {"rhobuffer", &rhobuffer, "rhobuffer is missing or invalid\n"},
        {"munot", &munot, "munot missing or invalid\n"},
        {"g", &g, "g missing or invalid"},
        {"cubic", &cubic, "cubic missing or invalid"},
        {"square", &square, "square missing or invalid"},
        {"linear", &linear, "linear missing or invalid"},
        {"constant", &constant, "constant missing or invalid"},
        {"mag_gap", &mag_gap, "mag_gap missing or invalid"},
        {"ChiPar", &ChiPar, nullptr},
    };
    CString messages;
    for (const auto& k : keys) {
        char buffer[32] = "";
        double value = 0.0;
        const bool read = Tovanix::E_GetPrivateProfileString("LPCurveParams", k.key, "", buffer, 31, file.c_str()) &&
                          std::sscanf(buffer, "%lf", &value) == 1;
        *k.field = read ? value : 0.0;
        if (k.message && (!read || std::isnan(value)))
            messages += k.message;
    }

    Gd_conc = gdConc;
    rohf = gdConc * 0.275 + rhobuffer;
    ChiGd = gdConc * ChiGd_factor;
    if (messages.IsEmpty()) {
        error.Empty();
        loaded = true;
        return true;
    }
    error = CString(given.c_str()) + ":\n" + messages;
    return false;
}

double LPCurveParams::LPValue(double z) const
{
    const double field = constant + linear * z + square * z * z + cubic * z * z * z;
    return (rohf + 3.0 * munot * (ChiGd + 1.0) * (ChiPar - ChiGd) * field / ((ChiPar + 2.0 * ChiGd + 3.0) * 2.0 * g)) /
           10.0;
}
