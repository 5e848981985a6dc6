#include "analysis/ExperimentDataSet.h"

#include "analysis/AnalysisEngineState.h"

#include <gtest/gtest.h>

TEST(ExperimentDataSet, FreshRecordAndIndependentCopies)
{
    ExperimentDataSet source;
    EXPECT_EQ(source.imageWidth, 2448);
    EXPECT_EQ(source.imageHeight, 2048);
    EXPECT_EQ(source.pixelsPerMm, 0.0);
    EXPECT_TRUE(source.frames.empty() && source.logRows.empty() && source.directory.empty());

    source.directory = "/data/Exp1";
    source.referenceFrame.brightFieldFile = "a_Brightfield_0001.png";
    source.frames.push_back(source.referenceFrame);
    ExperimentDataSet copy = source;
    copy.directory += "-copy";
    copy.referenceFrame.brightFieldFile.clear();
    copy.frames.push_back(FrameRecord{});
    copy.frames[0].pump1Speed = 5;
    EXPECT_EQ(source.directory, "/data/Exp1");
    EXPECT_EQ(source.referenceFrame.brightFieldFile, "a_Brightfield_0001.png");
    ASSERT_EQ(source.frames.size(), 1u);
    EXPECT_EQ(source.frames[0].pump1Speed, 0.0);

    // The pipelines reset their record by moving a fresh one into it.
    copy = ExperimentDataSet{};
    EXPECT_TRUE(copy.frames.empty() && copy.directory.empty());
    EXPECT_EQ(copy.imageWidth, 2448);
}

TEST(AnalysisEngineState, ResetsGiveTheStartUpValues)
{
    g_LeadMeniscusSearch.scaleDivisor = 5;
    g_LeadMeniscusSearch.matchFlags = {true};
    g_TrailMeniscusSearch.found = true;
    g_FlowGeometry.splitRow = 3;
    g_FractionationState.frames.push_back(cv::Mat(2, 2, CV_16UC1));
    g_FractionationState.topFraction = 0.4;
    ResetMeniscusSearches();
    ResetFlowGeometry();
    ResetFractionationState();
    EXPECT_EQ(g_LeadMeniscusSearch.scaleDivisor, 2);
    EXPECT_TRUE(g_LeadMeniscusSearch.matchFlags.empty());
    EXPECT_FALSE(g_TrailMeniscusSearch.found);
    EXPECT_EQ(g_FlowGeometry.splitRow, 0.0);
    EXPECT_TRUE(g_FractionationState.frames.empty());
    EXPECT_EQ(g_FractionationState.topFraction, 0.0);
}
