#include "analysis/RingFilterBlocks.h"
#include "analysis/RingFilter.h"
#include "analysis/testsupport/SyntheticCells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<uint16_t> SortedSamples(const cv::Mat& image, int x, int y, const SampleOffsets& offsets)
{
    std::vector<uint16_t> values;
    for (const SampleOffset& o : offsets)
        values.push_back(image.at<uint16_t>(y + o.dy, x + o.dx));
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace

// Every block width the processor runs (not only the widest, which the ring
// filter takes) reports the columns that may respond with the sorted values
// of their quantiles, and leaves out only columns that cannot respond.
TEST(RingFilterBlocks, EveryWidthReportsTheSortedValuesOfEachColumnThatMayRespond)
{
    SyntheticCellSpec spec;
    spec.size = cv::Size(173, 71);
    spec.cellCount = 8;
    spec.ringRadius = 6.0;
    spec.margin = 12;
    spec.minSpacing = 20;
    spec.noise = 500;
    const cv::Mat cells = MakeSyntheticCellImage(spec).image;
    cv::Mat levels(71, 173, CV_16UC1);
    cv::RNG(11).fill(levels, cv::RNG::UNIFORM, 0, 3);
    struct Case {
        const cv::Mat* image;
        int samples, threshold;
        bool useInnerRing;
    };
    const Case cases[] = {
        {&cells, 16, 0, true}, {&cells, 16, 9000, false}, {&cells, 8, 0, false}, {&cells, 12, 8500, true},
        {&cells, 24, 0, true}, {&cells, 32, 0, true},     {&levels, 16, 0, true}, {&levels, 8, 1, false},
    };
    const double radius = 6.0;
    for (const Case& c : cases) {
        const cv::Mat& image = *c.image;
        const RingSampleOffsets offsets = MakeRingSampleOffsets(radius, c.samples);
        ASSERT_TRUE(HasRingBlocks(c.samples));
        const int n = c.samples;
        const int r0 = (n - 1) / 4, r1 = std::min(r0 + 1, n - 1);
        const int u0 = 3 * (n - 1) / 4, u1 = std::min(u0 + 1, n - 1);
        RingBlockSettings settings;
        settings.samples = n;
        settings.useInnerRing = c.useInnerRing;
        settings.threshold = c.threshold;
        // Columns and rows whose three rings lie inside the image.
        const int reach = 9;  // outer radius 6 + 3
        int reported = 0;
        for (int lanes : RingBlockWidths()) {
            SCOPED_TRACE(testing::Message() << n << " samples, threshold " << c.threshold
                                            << (c.useInnerRing ? ", inner ring" : "") << ", " << lanes
                                            << " columns a block");
            for (int y = reach; y < image.rows - reach; y += 3) {
                std::vector<const uint16_t*> ring, inner, outer;
                for (int k = 0; k < n; ++k) {
                    ring.push_back(image.ptr<uint16_t>(y + offsets.ring[k].dy) + offsets.ring[k].dx);
                    inner.push_back(image.ptr<uint16_t>(y + offsets.inner[k].dy) + offsets.inner[k].dx);
                    outer.push_back(image.ptr<uint16_t>(y + offsets.outer[k].dy) + offsets.outer[k].dx);
                }
                const int x0 = reach + y % 5, x1 = image.cols - reach;
                std::vector<RingCandidate> found;
                const int end =
                    FindRingCandidates({ring.data(), inner.data(), outer.data()}, settings, x0, x1, found, lanes);
                ASSERT_EQ((end - x0) % lanes, 0);
                ASSERT_LE(end, x1);
                ASSERT_LT(x1 - end, lanes);
                size_t next = 0;
                for (int x = x0; x < end; ++x) {
                    const std::vector<uint16_t> r = SortedSamples(image, x, y, offsets.ring);
                    const std::vector<uint16_t> i = SortedSamples(image, x, y, offsets.inner);
                    const std::vector<uint16_t> o = SortedSamples(image, x, y, offsets.outer);
                    if (next < found.size() && found[next].x == x) {
                        const RingCandidate& f = found[next++];
                        EXPECT_EQ(f.ring[0], r[r0]) << x << ", " << y;
                        EXPECT_EQ(f.ring[1], r[r1]) << x << ", " << y;
                        if (c.useInnerRing) {
                            EXPECT_EQ(f.inner[0], i[u0]) << x << ", " << y;
                            EXPECT_EQ(f.inner[1], i[u1]) << x << ", " << y;
                        }
                        EXPECT_EQ(f.outer[0], o[u0]) << x << ", " << y;
                        EXPECT_EQ(f.outer[1], o[u1]) << x << ", " << y;
                        ++reported;
                        continue;
                    }
                    // Left out: the pixel must fail one of the tests of the
                    // filter, judged from the sorted values.
                    int pairs = 0;
                    for (int k = 0; k < n; ++k)
                        pairs += image.at<uint16_t>(y + offsets.inner[k].dy, x + offsets.inner[k].dx) >=
                                 image.at<uint16_t>(y + offsets.ring[k].dy, x + offsets.ring[k].dx);
                    const bool fails = (c.useInnerRing && pairs > n / 4) || r[r1] < c.threshold ||
                                       (c.useInnerRing && i[u0] > r[r1]) || o[u0] > r[r1];
                    EXPECT_TRUE(fails) << "column " << x << ", row " << y << " left out";
                }
                ASSERT_EQ(next, found.size()) << "columns reported out of order or past the blocks";
            }
        }
        EXPECT_GT(reported, 0);  // the case tells something
    }
    EXPECT_FALSE(HasRingBlocks(7));
    EXPECT_FALSE(HasRingBlocks(0));
}
