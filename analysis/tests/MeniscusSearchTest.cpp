#include "analysis/MeniscusSearch.h"

#include "analysis/AnalysisEngineState.h"
#include "analysis/tests/SplitLineFixture.h"
#include "app/tests/AppTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace fs = std::filesystem;

namespace {

// 40 frames of channel noise (60 x 200); the meniscus mark at column 40 in
// the frames given. The same mark is the lead and the trail template.
class MeniscusSearchTest : public apptest::DataRootTest {
protected:
    void SetUp() override
    {
        apptest::DataRootTest::SetUp();
        ResetMeniscusSearches();
        experiment = folder / "Exp1";
        fs::create_directories(experiment);
        for (const char* kind : {"lead", "trail"}) {
            const fs::path templates = dataRoot / "Templates" / (std::string(kind) + "-meniscus-templates");
            fs::create_directories(templates);
            cv::imwrite((templates / "meniscus.png").string(), SplitLineMark());
        }
        data.upperChannelRow = 0;
        data.lowerChannelRowEnd = 60;
    }
    void TearDown() override
    {
        ResetMeniscusSearches();
        apptest::DataRootTest::TearDown();
    }

    void WriteFrames(int count, const std::set<int>& marked)
    {
        data.frames.clear();
        cv::RNG rng(11);
        for (int i = 0; i < count; ++i) {
            FrameRecord frame;
            frame.brightFieldFile = "Exp1_Brightfield_" + std::to_string(1000 + i) + ".png";
            cv::Mat image(60, 200, CV_8UC1);
            rng.fill(image, cv::RNG::UNIFORM, 90, 110);
            if (marked.count(i))
                SplitLineMark().copyTo(image(cv::Rect(40, 20, 24, 24)));
            cv::imwrite((experiment / frame.brightFieldFile).string(), image);
            data.frames.push_back(frame);
        }
    }

    fs::path experiment;
    ExperimentDataSet data;
};

}  // namespace

TEST_F(MeniscusSearchTest, FramesExaminedAndFound)
{
    const struct {
        std::set<int> marked;
        double lead;
        double trail;
        bool trailFound;
    } cases[] = {
        {{3, 7, 25, 30}, 7, 25, true},
        {{10, 19}, 0, 39, false},  // outside the first quarter and before the second half
        {{0, 20}, 0, 20, true},
        {{9, 39}, 9, 39, true},
    };
    for (const auto& c : cases) {
        WriteFrames(40, c.marked);
        ResetMeniscusSearches();
        std::string error;
        ASSERT_TRUE(LeadMeniscusIndex(experiment.string(), data, &error)) << error;
        ASSERT_TRUE(TrailMeniscusIndex(experiment.string(), data, &error)) << error;
        const int first = *c.marked.begin();
        EXPECT_EQ(g_LeadMeniscusSearch.frameIndex, c.lead) << first;
        EXPECT_EQ(g_LeadMeniscusSearch.framesSearched, 10);
        EXPECT_EQ(g_LeadMeniscusSearch.matchFlags.size(), 10u);
        EXPECT_EQ(g_TrailMeniscusSearch.frameIndex, c.trail) << first;
        EXPECT_EQ(g_TrailMeniscusSearch.found, c.trailFound) << first;
        EXPECT_EQ(g_TrailMeniscusSearch.framesSearched, 20);
        if (c.trailFound) {
            EXPECT_EQ(g_TrailMeniscusSearch.matchX, 40.0);
            EXPECT_EQ(g_TrailMeniscusSearch.distanceToRightEdge, 160.0);
            EXPECT_EQ(g_TrailMeniscusSearch.templateWidth, 16.0);  // 24 / 1.5
        }
    }
    EXPECT_EQ(g_LeadMeniscusSearch.matchX, 40.0);
    EXPECT_EQ(g_LeadMeniscusSearch.templateWidth, 24.0);
    EXPECT_TRUE(g_LeadMeniscusSearch.matchFlags[9]);
}

TEST_F(MeniscusSearchTest, FewFramesOrNoTemplates)
{
    WriteFrames(3, {0, 1, 2});
    std::string error;
    ASSERT_TRUE(LeadMeniscusIndex(experiment.string(), data, &error));
    EXPECT_EQ(g_LeadMeniscusSearch.framesSearched, 0);
    EXPECT_EQ(g_LeadMeniscusSearch.frameIndex, 0.0);
    EXPECT_EQ(g_LeadMeniscusSearch.templateWidth, 0.0);

    fs::remove_all(dataRoot / "Templates" / "trail-meniscus-templates");
    WriteFrames(8, {5, 6});
    ASSERT_TRUE(TrailMeniscusIndex(experiment.string(), data, &error));
    EXPECT_FALSE(g_TrailMeniscusSearch.found);
    EXPECT_EQ(g_TrailMeniscusSearch.frameIndex, 7.0);
}

TEST_F(MeniscusSearchTest, UnreadableFrameIsReported)
{
    WriteFrames(8, {});
    fs::remove(experiment / data.frames[1].brightFieldFile);
    std::string error;
    EXPECT_FALSE(LeadMeniscusIndex(experiment.string(), data, &error));
    EXPECT_EQ(error.rfind("Function Lead Meniscus Index: ", 0), 0u) << error;
}
