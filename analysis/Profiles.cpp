#include "analysis/Profiles.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool BackgroundFits(const cv::Mat& image, const cv::Mat* background)
{
    return !background || (background->type() == CV_16UC1 && background->size() == image.size());
}

// Mean along one axis of the clipped region, one entry per position along
// the other axis. `byColumn` gives column means.
bool ComputeProfile(const cv::Mat& image, const Tovanix::Roi& roi, std::vector<int32_t>& profile,
                    const cv::Mat* background, bool byColumn)
{
    const cv::Rect inside = Tovanix::ClipRoiToImage(image, roi);
    if (inside.empty() || !BackgroundFits(image, background))
        return false;
    const int64_t first = byColumn ? roi.left : roi.top;
    const int64_t length = (byColumn ? roi.right : roi.bottom) - first + 1;
    if (static_cast<int64_t>(profile.size()) < length)
        profile.resize(static_cast<size_t>(length), 0);

    std::vector<int64_t> sums(static_cast<size_t>(byColumn ? inside.width : inside.height), 0);
    for (int y = inside.y; y < inside.y + inside.height; ++y) {
        const uint16_t* row = image.ptr<uint16_t>(y);
        const uint16_t* bg = background ? background->ptr<uint16_t>(y) : nullptr;
        for (int x = inside.x; x < inside.x + inside.width; ++x) {
            const int64_t value = static_cast<int64_t>(row[x]) - (bg ? bg[x] : 0);
            sums[static_cast<size_t>(byColumn ? x - inside.x : y - inside.y)] += value;
        }
    }
    const int64_t count = byColumn ? inside.height : inside.width;
    const int64_t insideFirst = byColumn ? inside.x : inside.y;
    for (int64_t i = 0; i < length; ++i) {
        const int64_t k = first + i - insideFirst;
        profile[static_cast<size_t>(i)] =
            (k >= 0 && k < static_cast<int64_t>(sums.size())) ? static_cast<int32_t>(sums[static_cast<size_t>(k)] / count)
                                                              : 0;
    }
    return true;
}

// Depth of a valley of value v under a rim mean o: positive for a real
// valley; 0 when both are 0 (no contrast at all).
float ValleyDepth(int64_t rim, int64_t value)
{
    const int64_t total = rim + value;
    if (total == 0)
        return 0.0f;
    return static_cast<float>(rim - value) / static_cast<float>(total);
}

// Position of the first smallest column mean of rows top..top+m over the
// columns first..last, counted from first.
int DarkestColumn(const cv::Mat& image, int top, int m, int first, int last)
{
    Tovanix::Roi band{first, top, last, top + m};
    std::vector<int32_t> means;
    ComputeColumnProfile(image, band, means);
    return static_cast<int>(std::min_element(means.begin(), means.end()) - means.begin());
}

}  // namespace

bool ComputeColumnProfile(const cv::Mat& image, const Tovanix::Roi& roi, std::vector<int32_t>& profile,
                          const cv::Mat* background)
{
    return ComputeProfile(image, roi, profile, background, true);
}

bool ComputeRowProfile(const cv::Mat& image, const Tovanix::Roi& roi, std::vector<int32_t>& profile,
                       const cv::Mat* background)
{
    return ComputeProfile(image, roi, profile, background, false);
}

bool SmoothProfile(std::vector<int32_t>& profile, int n)
{
    if (n < 2)
        return false;
    const size_t count = profile.size();
    const size_t width = static_cast<size_t>(n);
    std::vector<int64_t> forward(count), backward(count);
    int64_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum += profile[i];
        if (i >= width)
            sum -= profile[i - width];
        forward[i] = sum / static_cast<int64_t>(std::min(i + 1, width));
    }
    sum = 0;
    for (size_t k = 0; k < count; ++k) {
        const size_t i = count - 1 - k;
        sum += profile[i];
        if (k >= width)
            sum -= profile[i + width];
        backward[i] = sum / static_cast<int64_t>(std::min(k + 1, width));
    }
    for (size_t i = 0; i < count; ++i)
        profile[i] = static_cast<int32_t>((forward[i] + backward[i]) / 2);
    return true;
}

bool FindProfileExtremes(const std::vector<int32_t>& profile, int window, std::vector<int32_t>& positions)
{
    positions.clear();
    if (profile.empty() || window < 0)
        return true;
    const int64_t n = static_cast<int64_t>(profile.size());
    const int64_t threshold = *std::max_element(profile.begin(), profile.end()) / 20;
    const int64_t h = window / 2;
    auto p = [&](int64_t i) { return static_cast<int64_t>(profile[static_cast<size_t>(i)]); };

    struct Valley {
        int64_t position;
        float depth;
    };
    std::vector<Valley> valleys;
    for (int64_t i = h; i < n - h - 1;) {
        bool lowest = p(i) >= threshold;
        for (int64_t k = 1; lowest && k <= h; ++k)
            lowest = p(i - k) >= p(i) && p(i + k) >= p(i);
        if (lowest) {
            const float depth = ValleyDepth((p(i - h) + p(i + h)) / 2, p(i));
            // A stretch without contrast (depth 0) is no valley.
            if (depth > 0.0f) {
                valleys.push_back({i, depth});
                i += window + 1;
                continue;
            }
        }
        ++i;
    }

    auto deepest = [&]() {
        auto best = valleys.begin();
        for (auto it = valleys.begin(); it != valleys.end(); ++it)
            if (it->depth > best->depth)
                best = it;
        return best;
    };
    for (int pick = 0; pick < 2 && !valleys.empty(); ++pick) {
        const auto best = deepest();
        positions.push_back(static_cast<int32_t>(best->position));
        valleys.erase(best);
    }
    std::sort(positions.begin(), positions.end());
    return true;
}

bool FindMeniscus(const cv::Mat& image, MeniscusResult& result, int upperRow, int lowerRow)
{
    if (image.empty() || image.type() != CV_16UC1)
        return false;
    const Tovanix::Roi whole{0, 0, image.cols - 1, image.rows - 1};
    if (upperRow == -1 || lowerRow == -1) {
        std::vector<int32_t> rows, valleys;
        ComputeRowProfile(image, whole, rows);
        SmoothProfile(rows, 30);
        FindProfileExtremes(rows, 30, valleys);
        if (valleys.size() < 2)
            return false;
        upperRow = valleys[0];
        lowerRow = valleys[1];
    } else if (upperRow < 0 || lowerRow >= image.rows || lowerRow <= upperRow) {
        return false;
    }
    result.upper_channel_row = upperRow;
    result.lower_channel_row = lowerRow;
    const int height = lowerRow - upperRow;

    // The middle of the channel, away from the walls.
    const int bandTop = upperRow + height / 6;
    const int bandBottom = lowerRow - height / 6;
    std::vector<int32_t> columns, valleys;
    ComputeColumnProfile(image, {0, bandTop, image.cols - 1, bandBottom}, columns);
    FindProfileExtremes(columns, 40, valleys);
    if (valleys.size() < 2) {
        result.found = false;
        return true;
    }
    const int x = valleys[1];
    const int64_t rim = (static_cast<int64_t>(columns[static_cast<size_t>(x - 20)]) + columns[static_cast<size_t>(x + 20)]) / 2;
    if (!(ValleyDepth(rim, columns[static_cast<size_t>(x)]) >= 0.01f)) {
        result.found = false;
        return true;
    }
    result.found = true;
    result.meniscus_x = x;

    // The lean: where the meniscus lies in two thin bands below the upper wall.
    const int first = std::max(x - 160, 0);
    const int last = std::min(x + 160, image.cols - 1);
    const int m = height / 10;
    const int a = DarkestColumn(image, bandTop, m, first, last);
    const int b = DarkestColumn(image, bandTop + m, m, first, last);
    result.form = static_cast<float>(a - b) / static_cast<float>(height) * 1000.0f;
    result.form_valid = true;
    return true;
}
