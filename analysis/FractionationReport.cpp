#include "analysis/FractionationReport.h"

#include "analysis/AnalysisEngineState.h"
#include "app/VelloraApp.h"
#include "platform/Files.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>
#include <vector>

namespace {

bool Fail(const std::string& reason, std::string* error)
{
    if (error)
        *error = "Cell fractionation report: " + reason;
    return false;
}

}  // namespace

bool WriteCellFractionationReport(std::string folder, std::string experimentName, std::string reportName,
                                  ExperimentDataSet data, std::string* error)
{
    FractionationState& state = g_FractionationState;
    std::vector<double> profile = state.intensityProfile;
    const int n = static_cast<int>(profile.size());
    if (n == 0)
        return Fail("the intensity profile is empty", error);
    for (double& value : profile)
        value = std::max(value, 0.0);

    // The split row in profile rows; a split on or beyond a channel wall
    // counts as the wall row.
    const double split = std::trunc(g_FlowGeometry.splitRow - 100.0 + 0.5);
    const int k = static_cast<int>(std::clamp(split, 0.0, static_cast<double>(n - 1)));
    double top = 0.0, bottom = 0.0;
    for (int i = 0; i < n; ++i) {
        if (i < k)
            top += profile[static_cast<size_t>(i)];
        else if (i > k)
            bottom += profile[static_cast<size_t>(i)];
    }
    const double centre = profile[static_cast<size_t>(k)];
    state.topFraction = 0.0;
    state.bottomFraction = 0.0;
    if (top + bottom > 0.0) {
        state.topFraction = top / (top + bottom);
        state.bottomFraction = bottom / (top + bottom);
    }
    double total = top + bottom + centre;
    if (!(total > 0.0))
        total = 1.0;

    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << theApp.m_strDisplayName.str() << "\t" << theApp.m_strFileVersion.str() << "\r\n"
        << "Experiment Name\t" << experimentName << "\r\n"
        << "Cell Fractionation Report\r\n"
        << "Top Fraction\t" << state.topFraction << "\r\n"
        << "Bottom Fraction\t" << state.bottomFraction << "\r\n"
        << "Upper Channel Position\t" << data.upperChannelRow << "\r\n"
        << "Lower Channel Position\t" << data.lowerChannelRowEnd - 1 << "\r\n"
        << "Split-line Position\t"
        << static_cast<long long>(std::trunc(g_FlowGeometry.splitRow)) + data.upperChannelRow - 100 << "\r\n"
        // + 0.0 writes a rounded -0.4 as 0, not -0.
        << "Split-line Value\t" << std::round(g_FlowGeometry.splitOffsetPercent) + 0.0 << "\r\n"
        << "\r\n"
        << "Channel position\tNormalized intensity\r\n";
    for (int i = n - 1; i >= 0; --i) {
        // A single-row channel has no extent: its one row sits at the centre.
        const double position = n > 1 ? (n - 1 - i) * 100.0 / (n - 1) - 50.0 : 0.0;
        out << position + 0.0 << "\t" << profile[static_cast<size_t>(i)] * 100.0 / total << "\r\n";
    }

    const std::string path = platform::NativePath(folder + "/" + reportName + ".txt");
    const std::string text = out.str();
    if (!platform::WriteFileAtomically(path, text.data(), text.size()))
        return Fail("could not write " + path, error);
    return true;
}
