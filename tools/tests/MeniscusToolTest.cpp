// The meniscus worker on a folder of synthetic channel images: menisci found
// where they were drawn, the report's lines, unreadable files, Stop, and
// the consistency pass as a table.

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "tools/MeniscusTool.h"
#include "tools/tests/ToolTestSupport.h"

using namespace tools_testing;

namespace {

// A channel with walls at rows 100 and 500, a mark at column 300 and, when
// `meniscus` is not negative, a meniscus at that column.
cv::Mat ChannelImage(int meniscus) {
    cv::Mat image(600, 1200, CV_16UC1, cv::Scalar(2000));
    for (int y = 0; y < image.rows; ++y) {
        const int wall = std::min(std::abs(y - 100), std::abs(y - 500));
        if (wall < 40) image.row(y).setTo(2000 - 1700 * (40 - wall) / 40);
    }
    for (int y = 140; y <= 460; ++y) {
        uint16_t* row = image.ptr<uint16_t>(y);
        for (int x = 298; x <= 302; ++x) row[x] = 600;
        if (meniscus < 0) continue;
        row[meniscus - 2] = row[meniscus + 2] = 900;
        row[meniscus - 1] = row[meniscus + 1] = 700;
        row[meniscus] = 500;
    }
    return image;
}

NamedMeniscus Found(int x) {
    NamedMeniscus named{"m", {}};
    named.result.found = true;
    named.result.meniscus_x = x;
    return named;
}

NamedMeniscus Missing() { return NamedMeniscus{"m", {}}; }

}  // namespace

TEST(MeniscusConsistency, FlagsAfterThePass) {
    struct Case {
        const char* what;
        std::vector<NamedMeniscus> results;
        std::vector<bool> found;
    };
    const Case cases[] = {
        {"steady series stays found", {Found(800), Found(850), Found(900)}, {true, true, true}},
        {"a jump over 200 clears both", {Found(800), Found(1001), Found(1050)}, {false, false, true}},
        {"a jump of exactly 200 stays", {Found(800), Found(1000)}, {true, true}},
        {"found before a missing one is cleared", {Found(800), Found(820), Missing(), Found(840)},
         {true, false, false, true}},
        {"the last one stays found", {Missing(), Found(820)}, {false, true}},
        {"the first one is never looked at alone", {Found(800), Missing()}, {true, false}},
        {"one result", {Found(10)}, {true}},
    };
    for (const Case& c : cases) {
        std::vector<NamedMeniscus> results = c.results;
        ApplyMeniscusConsistency(results);
        std::vector<bool> found;
        for (const auto& r : results) found.push_back(r.result.found);
        EXPECT_EQ(found, c.found) << c.what;
    }
}

TEST(MeniscusConsistency, RowForms) {
    NamedMeniscus named = Found(812);
    named.name = "a.png";
    named.result.upper_channel_row = 100;
    named.result.lower_channel_row = 500;
    named.result.form = 37.5f;
    named.result.form_valid = true;
    EXPECT_EQ(MeniscusRow(named), "a.png\t100\t500\tTrue\t812\t  37.5");
    named.result.form_valid = false;
    EXPECT_EQ(MeniscusRow(named), "a.png\t100\t500\tTrue\t812");
    named.result.found = false;
    EXPECT_EQ(MeniscusRow(named), "a.png\t100\t500\tFalse\t\t");
}

TEST(MeniscusTool, FindsTheMenisciWhereTheyWereDrawnAndWritesTheReport) {
    const fs::path root = MakeDataRoot("meniscus-run");
    const fs::path folder = root / "menisci";
    fs::create_directories(folder);
    cv::imwrite((folder / "1.png").string(), ChannelImage(700));
    cv::imwrite((folder / "2.png").string(), ChannelImage(760));
    WriteFile(folder / "3.png", "garbage");
    cv::imwrite((folder / "4.png").string(), ChannelImage(820));
    cv::imwrite((folder / "5.png").string(), ChannelImage(-1));
    cv::imwrite((folder / "6.png").string(), ChannelImage(900));

    std::vector<std::string> statuses;
    ToolWorkerContext context;
    context.status = [&](const std::string& text) { statuses.push_back(text); };
    const MeniscusReport report =
        RunFindMeniscus({folder.string(), {"1.png", "2.png", "3.png", "4.png", "5.png", "6.png"}}, context);
    ASSERT_TRUE(report.error.empty()) << report.error;
    EXPECT_EQ(statuses.front(), "1 of 6");
    EXPECT_EQ(statuses.back(), "");
    const std::string name = fs::path(report.path).filename().string();
    EXPECT_EQ(name.size(), std::string("20260101_000000_MeniscusReport.txt").size());
    EXPECT_NE(name.find("_MeniscusReport.txt"), std::string::npos);

    const std::string text = ReadFile(report.path);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 4u + 1u + 5u);
    EXPECT_EQ(lines[0], "FindMeniscus");
    EXPECT_EQ(lines[1], "Version\t1.0.0.0");
    EXPECT_EQ(lines[2], "Directory\t" + folder.string());
    EXPECT_EQ(lines[3], "Image\tupper_channel_y\tlower_channel_y\tmeniscus_found\tmeniscus_x\tmeniscus_form");
    EXPECT_EQ(lines[4], (folder / "3.png").string() + "\tCan't open image file.");
    const int expectedX[] = {700, 760, 820, -1, 900};
    const char* names[] = {"1.png", "2.png", "4.png", "5.png", "6.png"};
    // 4.png is followed by an image without a meniscus: it is reported not found.
    const char* expectedFound[] = {"True", "True", "False", "False", "True"};
    for (int i = 0; i < 5; ++i) {
        std::vector<std::string> fields;
        std::stringstream row(lines[5 + static_cast<size_t>(i)]);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
        ASSERT_GE(fields.size(), 4u) << lines[5 + static_cast<size_t>(i)];
        EXPECT_EQ(fields[0], names[i]);
        EXPECT_NEAR(std::stoi(fields[1]), 100, 2);
        EXPECT_NEAR(std::stoi(fields[2]), 500, 2);
        EXPECT_EQ(fields[3], expectedFound[i]) << names[i];
        if (expectedX[i] >= 0 && fields[3] == "True") EXPECT_NEAR(std::stoi(fields[4]), expectedX[i], 2);
    }
}

TEST(MeniscusTool, StopEndsTheSearchAndTheReportStillComes) {
    const fs::path root = MakeDataRoot("meniscus-stop");
    const fs::path folder = root / "menisci";
    fs::create_directories(folder);
    for (int i = 0; i < 3; ++i) cv::imwrite((folder / (std::to_string(i) + ".png")).string(), ChannelImage(700));
    std::atomic<bool> stop{false};
    ToolWorkerContext context;
    context.stop = &stop;
    context.status = [&](const std::string& text) {
        if (text == "2 of 3") stop = true;
    };
    const MeniscusReport report = RunFindMeniscus({folder.string(), {"0.png", "1.png", "2.png"}}, context);
    ASSERT_FALSE(report.path.empty());
    EXPECT_EQ(report.lines.size(), 4u + 2u);
}

TEST(MeniscusTool, AReportThatCannotBeWrittenIsReported) {
    const fs::path root = MakeDataRoot("meniscus-no-report");
    const std::string missing = (root / "missing").string();
    const MeniscusReport report = RunFindMeniscus({missing, {"a.png"}}, ToolWorkerContext{});
    EXPECT_TRUE(report.path.empty());
    EXPECT_EQ(report.error.rfind("Can't open report file: " + missing + "/", 0), 0u) << report.error;
    EXPECT_EQ(report.lines.back(), missing + "/a.png\tCan't open image file.");
}
