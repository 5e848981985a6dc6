// The image selection grid window: cells over the caller's list, clicks that
// mark and unmark, empty cells, Clear, the selected count, the first image's
// mapping and the settings it reads.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <opencv2/imgcodecs.hpp>

#include "platform/testsupport/QtTestApplication.h"
#include "tools/ui/ImageSelectionDlg.h"
#include "tools/ui/tests/ToolUiTestSupport.h"

using namespace tools_testing;

namespace {

ImageSelectionList MakeImages(const fs::path& folder, int count) {
    fs::create_directories(folder);
    ImageSelectionList list;
    for (int i = 0; i < count; ++i) {
        cv::Mat image(60, 80, CV_16UC1);
        for (int r = 0; r < image.rows; ++r)
            for (int c = 0; c < image.cols; ++c) image.at<uint16_t>(r, c) = static_cast<uint16_t>(1000 + 40 * c + 200 * i);
        const fs::path path = folder / ("img" + std::to_string(i) + ".png");
        cv::imwrite(path.string(), image);
        ImageSelectionItem item;
        item.path = path.c_str();
        list.push_back(item);
    }
    return list;
}

QPoint Centre(const GridCell& cell) {
    return QPoint((cell.rect.left + cell.rect.right) / 2, (cell.rect.top + cell.rect.bottom) / 2);
}

}  // namespace

TEST(ImageSelectionDlg, CellsShowTheFirstItemsAndClicksToggleMarks)
{
    testsupport::EnsureApplication();
    MakeDataRoot("grid_cells", "[ImageSelectionDlg]\r\nNHI=3\r\nNVI=3\r\n");
    ImageSelectionList list = MakeImages(TestRoot() / "grid_cells" / "img", 3);
    ImageSelectionDlg dialog(&list);
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return dialog.Cells().size() == 9 && !dialog.PaintSuppressed(); }));
    EXPECT_EQ(dialog.ColumnsCombo()->currentText(), "3");
    EXPECT_FALSE(dialog.ClearButton()->isEnabled());
    EXPECT_FALSE(dialog.OpenSelButton()->isEnabled());
    // The mapping follows the first thumbnail's 5th and 95th percentiles.
    EXPECT_GT(dialog.Mapping().low, 1000);
    EXPECT_LT(dialog.Mapping().high, 1000 + 40 * 80);

    dialog.ClickAt(Centre(dialog.Cells()[1]));
    EXPECT_TRUE(list[1].selected);
    EXPECT_EQ(dialog.SelectedEdit()->text(), "1");
    EXPECT_TRUE(dialog.ClearButton()->isEnabled());
    dialog.ClickAt(Centre(dialog.Cells()[2]));
    // Empty cells and the gaps between cells change nothing.
    dialog.ClickAt(Centre(dialog.Cells()[5]));
    dialog.ClickAt(QPoint(2, 2));
    EXPECT_EQ(ImageSelectionDlg::CountSelected(&list), 2);
    SaveScreenshot(dialog, "image_selection_grid");

    dialog.ClickAt(Centre(dialog.Cells()[1]));
    EXPECT_FALSE(list[1].selected);
    dialog.OnBnClickedClear();
    EXPECT_EQ(ImageSelectionDlg::CountSelected(&list), 0);
    EXPECT_EQ(dialog.SelectedEdit()->text(), "0");
    EXPECT_FALSE(dialog.OpenSelButton()->isEnabled());
}

TEST(ImageSelectionDlg, ThirtyImagesOnFiveByFiveShowTheFirstTwentyFive)
{
    testsupport::EnsureApplication();
    MakeDataRoot("grid_30");
    ImageSelectionList list = MakeImages(TestRoot() / "grid_30" / "img", 30);
    ImageSelectionDlg dialog(&list);
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return dialog.Cells().size() == 25; }));
    EXPECT_EQ(dialog.Cells().back().item, 24);
    // A changed grid size is laid out again after the pause.
    dialog.RowsCombo()->setEditText("6");
    ASSERT_TRUE(WaitFor([&] { return dialog.Cells().size() == 30; }));
    dialog.ClickAt(Centre(dialog.Cells()[29]));
    EXPECT_TRUE(list[29].selected);
}
