// Drawing the manufacturing-test symbols: the cross-hair across the image,
// the small cross in window pixels whatever the zoom, a user type's shape
// through the image-to-window mapping, and the types that draw nothing.
#include "imaging/ui/MfgTestSymbolDrawing.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "platform/testsupport/QtTestApplication.h"

namespace {

// A 200 x 200 window showing a 100 x 100 image at twice its size, the
// symbol at image pixel (20, 30); white pixels are what was drawn.
struct Drawn {
    QImage picture{200, 200, QImage::Format_RGB32};
    bool result = false;

    explicit Drawn(int type, int x = 20, int y = 30, double x0 = 0, double x1 = 1) {
        testsupport::EnsureApplication();
        picture.fill(Qt::black);
        QPainter painter(&picture);
        painter.setPen(QPen(Qt::white, 1));
        CDC dc(painter, nullptr);
        const RECT destination{0, 0, 199, 199};
        const RECT imageRect{0, 0, 199, 199};
        MfgTestSymbol symbol;
        symbol.type = type;
        symbol.shown = 1;
        result = DrawMfgTestSymbol(symbol, &dc, destination, x0, x1, 0, 1, imageRect, 100, 100, 2 * x, 2 * y);
    }
    bool White(int x, int y) const { return picture.pixel(x, y) == qRgb(255, 255, 255); }
    int WhiteCount() const {
        int count = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) count += White(x, y) ? 1 : 0;
        return count;
    }
};

TEST(MfgTestSymbolDrawingTest, CrossHairSpansTheImageAndTheSmallCrossIs25PixelsEachWay) {
    const Drawn hair(0);
    EXPECT_TRUE(hair.result);
    EXPECT_TRUE(hair.White(0, 60) && hair.White(199, 60));
    EXPECT_TRUE(hair.White(40, 0) && hair.White(40, 199));

    const Drawn cross(1);
    EXPECT_TRUE(cross.result);
    EXPECT_TRUE(cross.White(15, 60) && cross.White(65, 60));
    EXPECT_FALSE(cross.White(14, 60) || cross.White(66, 60) || cross.White(0, 60));
    EXPECT_TRUE(cross.White(40, 35) && cross.White(40, 85));
    EXPECT_FALSE(cross.White(40, 34) || cross.White(40, 86));
}

TEST(MfgTestSymbolDrawingTest, UserTypeIsDrawnThroughItsPointsAndUnknownTypesDrawNothing) {
    int32_t id = 0;
    bool existed = true;
    ASSERT_TRUE(FindMfgTestSymbolType("DrawingTestSquare", id, existed));
    bool noSuchType = false;
    // A 10 x 10 square of image pixels.
    for (const auto& p : {MfgTestPoint{0, 0}, MfgTestPoint{10, 0}, MfgTestPoint{10, 10}, MfgTestPoint{0, 10},
                          MfgTestPoint{0, 0}})
        ASSERT_TRUE(AddPointToMfgTestSymbolType(id, p.x, p.y, noSuchType));
    const Drawn square(id);
    EXPECT_TRUE(square.result);
    // Corners at window (40, 60) and (60, 80): the symbol's offset plus the scaled points.
    EXPECT_TRUE(square.White(40, 60) && square.White(60, 60) && square.White(60, 80) && square.White(40, 80));
    EXPECT_TRUE(square.White(50, 60));
    EXPECT_FALSE(square.White(50, 70));
    // Showing the left half of the image only: the points are spread twice
    // as wide by the mapping, while the offset stays as handed over.
    const Drawn zoomed(id, 20, 30, 0.0, 0.5);
    EXPECT_TRUE(zoomed.White(80, 60) && zoomed.White(80, 80) && zoomed.White(70, 60));
    EXPECT_FALSE(square.White(70, 60));

    ASSERT_TRUE(FindMfgTestSymbolType("DrawingTestEmpty", id, existed));
    const Drawn empty(id);
    EXPECT_TRUE(empty.result);
    EXPECT_EQ(empty.WhiteCount(), 0);

    for (int type : {7, -1, id + 1}) {
        const Drawn nothing(type);
        EXPECT_FALSE(nothing.result) << type;
        EXPECT_EQ(nothing.WhiteCount(), 0) << type;
    }
}

}  // namespace
