#include "analysis/LPCurveParams.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const char kComplete[] =
    "ChiGd_factor=3.2E-7\r\nrhobuffer=1.005\r\nmunot=1.2566E-6\r\ng=9.81\r\ncubic=0.5\r\nsquare=-2\r\n"
    "linear=3\r\nconstant=0.25\r\nmag_gap=1.5\r\nChiPar=-9E-6\r\n";

std::string WriteCurve(const std::string& body)
{
    const fs::path path = fs::path(std::getenv("VELLORA_TEST_ROOT")) / "curve.LP_curve_params";
    std::ofstream(path, std::ios::binary) << "[LPCurveParams]\r\n" << body;
    return path.string();
}

std::string Without(std::string body, const std::string& line)
{
    body.erase(body.find(line), line.size());
    return body;
}

}  // namespace

TEST(LPCurveParams, LoadsAndDerivesForTheConcentration)
{
    LPCurveParams lp;
    CString error = "before";
    ASSERT_TRUE(lp.LoadFromFile(10.0, WriteCurve(kComplete).c_str(), error));
    EXPECT_TRUE(error.IsEmpty());
    EXPECT_TRUE(lp.loaded);
    EXPECT_DOUBLE_EQ(lp.Gd_conc, 10.0);
    EXPECT_DOUBLE_EQ(lp.rohf, 3.755);
    EXPECT_DOUBLE_EQ(lp.ChiGd, 3.2e-6);
    EXPECT_DOUBLE_EQ(lp.mag_gap, 1.5);
    EXPECT_DOUBLE_EQ(lp.ChiPar, -9e-6);
    // The polynomial at z = 1 is 0.25 + 3 - 2 + 0.5 = 1.75.
    const double expected = (3.755 + 3 * 1.2566e-6 * (3.2e-6 + 1) * (-9e-6 - 3.2e-6) * 1.75 /
                                         ((-9e-6 + 2 * 3.2e-6 + 3) * 2 * 9.81)) /
                            10;
    EXPECT_DOUBLE_EQ(lp.LPValue(1.0), expected);

    LPCurveParams noChiPar;
    ASSERT_TRUE(noChiPar.LoadFromFile(1.0, WriteCurve(Without(kComplete, "ChiPar=-9E-6\r\n")).c_str(), error));
    EXPECT_EQ(noChiPar.ChiPar, 0.0);
}

TEST(LPCurveParams, ReportsMissingAndInvalidKeys)
{
    const struct {
        std::string body;
        const char* messages;
    } cases[] = {
        {Without(Without(kComplete, "g=9.81\r\n"), "cubic=0.5\r\n"), "g missing or invalidcubic missing or invalid"},
        {Without(kComplete, "rhobuffer=1.005\r\n") + "rhobuffer=nan\r\n", "rhobuffer is missing or invalid\n"},
        {Without(Without(kComplete, "ChiGd_factor=3.2E-7\r\n"), "mag_gap=1.5\r\n") + "mag_gap=wide\r\n",
         "ChiGd_factor missing or invalid\nmag_gap missing or invalid"},
    };
    for (const auto& c : cases) {
        const std::string path = WriteCurve(c.body);
        LPCurveParams lp;
        CString error;
        EXPECT_FALSE(lp.LoadFromFile(2.0, path.c_str(), error));
        EXPECT_EQ(error.str(), path + ":\n" + c.messages);
        EXPECT_FALSE(lp.loaded);
        EXPECT_DOUBLE_EQ(lp.Gd_conc, 2.0);  // what was read is kept
    }
}

TEST(LPCurveParams, MissingFileKeepsEarlierTextAndRecord)
{
    LPCurveParams lp;
    CString error;
    ASSERT_TRUE(lp.LoadFromFile(10.0, WriteCurve(kComplete).c_str(), error));
    error = "earlier\n";
    EXPECT_FALSE(lp.LoadFromFile(20.0, "/nowhere/x.LP_curve_params", error));
    EXPECT_EQ(error.str(), "earlier\nMissing file: /nowhere/x.LP_curve_params\n");
    EXPECT_TRUE(lp.loaded);
    EXPECT_DOUBLE_EQ(lp.Gd_conc, 10.0);
}
