#include "analysis/DisplayMapping.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "analysis/tests/ImageTestSupport.h"

namespace {

using Tovanix::test::ImageFromRows;

uint32_t Rgb(int red, int green, int blue) {
    return static_cast<uint32_t>(red << 16 | green << 8 | blue);
}

// ---------------------------------------------------------------- mapping

TEST(DisplayMapping, LinearMappingIntoTheDisplayRange) {
    struct Case {
        uint16_t value;
        int16_t displayLow;
        int16_t displayHigh;
        int grey;
    };
    const std::vector<Case> cases = {
        {1000, 0, 255, 0},   {1500, 0, 255, 127},  // integer part of 127.5
        {2000, 0, 255, 255}, {2500, 0, 255, 255}, {999, 0, 255, 0},  {0, 0, 255, 0},
        {1500, 10, 200, 105}, {1000, 10, 200, 10}, {1000, -50, 300, 0}, {2000, -50, 300, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " into " << c.displayLow << ".." << c.displayHigh);
        // Once alone and once in a frame-sized buffer, which maps through a table.
        std::vector<uint16_t> values(20000, c.value);
        std::vector<uint32_t> pixels(values.size(), 0xDEADBEEF);
        Tovanix::MapIntensitiesToDisplayColours(values.data(), 1, pixels.data(), 2000, 1000, nullptr, c.displayLow,
                                                c.displayHigh);
        EXPECT_EQ(pixels[0], Rgb(c.grey, c.grey, c.grey));
        EXPECT_EQ(pixels[1], 0xDEADBEEFu);
        Tovanix::MapIntensitiesToDisplayColours(values.data(), static_cast<int>(values.size()), pixels.data(), 2000,
                                                1000, nullptr, c.displayLow, c.displayHigh);
        EXPECT_EQ(pixels[19999], Rgb(c.grey, c.grey, c.grey));
    }
}

// A frame's worth of points goes through a table of grey pixels that the
// calling thread keeps while the range stays the same: every change of any
// bound must give the pixels of that range.
TEST(DisplayMapping, EachRangeMapsWithItsOwnTable) {
    std::vector<uint16_t> values(20000);
    for (size_t k = 0; k < values.size(); ++k) {
        values[k] = static_cast<uint16_t>(k * 3277 % 65536);
    }
    std::vector<uint8_t> codes(values.size(), 0);
    codes[100] = 1;
    codes[20000 - 1] = 3;
    struct Range {
        uint16_t high, low;
        int16_t displayLow, displayHigh;
    };
    const Range ranges[] = {{50000, 10000, 0, 255}, {50000, 10000, 0, 255}, {50001, 10000, 0, 255},
                            {50001, 9999, 0, 255},  {50001, 9999, 1, 255},  {50001, 9999, 1, 254},
                            {50000, 10000, 0, 255}, {700, 700, 0, 255}};
    std::vector<uint32_t> pixels(values.size());
    for (const Range& r : ranges) {
        SCOPED_TRACE(testing::Message() << r.low << ".." << r.high << " onto " << r.displayLow << ".."
                                        << r.displayHigh);
        Tovanix::MapIntensitiesToDisplayColours(values.data(), static_cast<int>(values.size()), pixels.data(), r.high,
                                                r.low, codes.data(), r.displayLow, r.displayHigh);
        for (size_t k = 0; k < values.size(); ++k) {
            uint32_t alone = 0;  // one point alone takes no table
            Tovanix::MapIntensitiesToDisplayColours(&values[k], 1, &alone, r.high, r.low, &codes[k], r.displayLow,
                                                    r.displayHigh);
            ASSERT_EQ(pixels[k], alone) << "point " << k;
        }
    }
}

TEST(DisplayMapping, EqualBoundsMapEverythingToBlack) {
    const std::vector<uint16_t> values{0, 700, 65535};
    std::vector<uint32_t> pixels(3, 1);
    const std::vector<uint8_t> codes{0, 0, Tovanix::kOverlayGreen};
    EXPECT_TRUE(Tovanix::MapIntensitiesToDisplayColours(values.data(), 3, pixels.data(), 700, 700, codes.data(), 0,
                                                        255));
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0, 0, Rgb(0, 32, 0)}));
}

TEST(DisplayMapping, OverlayCodesTintThePixel) {
    struct Case {
        uint8_t code;
        uint16_t value;  // grey = value with bounds 0..255
        uint32_t pixel;
    };
    const std::vector<Case> cases = {
        {Tovanix::kOverlayRed, 100, Rgb(255, 33, 33)},   {Tovanix::kOverlayRed, 0, Rgb(32, 0, 0)},
        {Tovanix::kOverlayBlue, 50, Rgb(16, 16, 150)},   {Tovanix::kOverlayGreen, 100, Rgb(33, 255, 33)},
        {Tovanix::kOverlayGreen, 0, Rgb(0, 32, 0)},      {Tovanix::kOverlayNone, 100, Rgb(100, 100, 100)},
        {7, 100, Rgb(100, 100, 100)},
    };
    for (const Case& c : cases) {
        uint32_t pixel = 0;
        Tovanix::MapIntensitiesToDisplayColours(&c.value, 1, &pixel, 255, 0, &c.code, 0, 255);
        EXPECT_EQ(pixel, c.pixel) << "code " << int(c.code) << " value " << c.value;
    }

    // A frame: codes scattered among long runs without any.
    std::vector<uint16_t> values(20000, 100);
    std::vector<uint8_t> codes(values.size(), Tovanix::kOverlayNone);
    codes[17] = Tovanix::kOverlayRed;
    codes[19999] = Tovanix::kOverlayGreen;
    std::vector<uint32_t> pixels(values.size());
    Tovanix::MapIntensitiesToDisplayColours(values.data(), 20000, pixels.data(), 255, 0, codes.data(), 0, 255);
    EXPECT_EQ(pixels[16], Rgb(100, 100, 100));
    EXPECT_EQ(pixels[17], Rgb(255, 33, 33));
    EXPECT_EQ(pixels[18], Rgb(100, 100, 100));
    EXPECT_EQ(pixels[19999], Rgb(33, 255, 33));
}

// ---------------------------------------------------------------- display depths

std::vector<uint8_t> Bytes(const std::vector<uint32_t>& buffer, size_t count) {
    std::vector<uint8_t> bytes(count);
    std::memcpy(bytes.data(), buffer.data(), count);
    return bytes;
}

TEST(DisplayDepth, TwentyFourBitRowsArePaddedToAnEvenLength) {
    // Odd width: 3 pixels of 3 bytes and one padding byte per row.
    std::vector<uint32_t> odd{Rgb(1, 2, 3), Rgb(4, 5, 6), Rgb(7, 8, 9), Rgb(10, 11, 12), Rgb(13, 14, 15),
                              Rgb(16, 17, 18)};
    ASSERT_TRUE(Tovanix::ConvertPixelsToDisplayDepth(3, 2, odd.data(), 24));
    EXPECT_EQ(Tovanix::DisplayRowBytes(3, 24), 10);
    EXPECT_EQ(Bytes(odd, 20), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 0,  //
                                                    12, 11, 10, 15, 14, 13, 18, 17, 16, 0}));
    // Even width: none.
    std::vector<uint32_t> even{Rgb(1, 2, 3), Rgb(4, 5, 6), Rgb(7, 8, 9), Rgb(10, 11, 12)};
    ASSERT_TRUE(Tovanix::ConvertPixelsToDisplayDepth(2, 2, even.data(), 24));
    EXPECT_EQ(Bytes(even, 12), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
}

TEST(DisplayDepth, SixteenAndEightBitPixels) {
    std::vector<uint32_t> pixels{Rgb(0xFF, 0x80, 0x08), Rgb(0x07, 0x03, 0xF8)};
    ASSERT_TRUE(Tovanix::ConvertPixelsToDisplayDepth(2, 1, pixels.data(), 16));
    uint16_t packed[2];
    std::memcpy(packed, pixels.data(), sizeof packed);
    EXPECT_EQ(packed[0], (31 << 11) | (32 << 5) | 1);
    EXPECT_EQ(packed[1], 31);

    // Greys use the palette indices 10..245; odd rows get a padding byte.
    std::vector<uint32_t> greys{Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(128, 128, 128),
                                Rgb(30, 60, 90),    Rgb(1, 1, 1), Rgb(2, 2, 2)};
    ASSERT_TRUE(Tovanix::ConvertPixelsToDisplayDepth(3, 2, greys.data(), 8));
    EXPECT_EQ(Bytes(greys, 8), (std::vector<uint8_t>{245, 10, 128 * 236 / 256 + 10, 0, 60 * 236 / 256 + 10, 10, 11, 0}));
}

TEST(DisplayDepth, ThirtyTwoBitsUnchangedOtherDepthsRefused) {
    std::vector<uint32_t> pixels{Rgb(1, 2, 3)};
    EXPECT_TRUE(Tovanix::ConvertPixelsToDisplayDepth(1, 1, pixels.data(), 32));
    EXPECT_EQ(pixels[0], Rgb(1, 2, 3));
    EXPECT_FALSE(Tovanix::ConvertPixelsToDisplayDepth(1, 1, pixels.data(), 15));
    EXPECT_FALSE(Tovanix::ConvertPixelsToDisplayDepth(1, 1, pixels.data(), 1));
}

TEST(DisplayDepth, GreyPaletteIsMadeOnce) {
    const Tovanix::GreyPalette* palette = Tovanix::GetGreyPalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette, Tovanix::GetGreyPalette());
    EXPECT_EQ(palette->version, 0x300);
    EXPECT_EQ(palette->entryCount, 256);
    EXPECT_EQ(palette->entries[0].red, 0);
    EXPECT_EQ(palette->entries[200].green, 200);
    EXPECT_EQ(palette->entries[255].blue, 255);
    EXPECT_EQ(palette->entries[255].flags, 0);
}

// ---------------------------------------------------------------- sampling

TEST(DisplayGrid, NearestNeighbourSamplingOfAPartOfTheImage) {
    const cv::Mat image = ImageFromRows({{1, 2, 3, 4}, {5, 6, 7, 8}});
    std::vector<uint16_t> values;
    // The right half stretched over the whole width.
    ASSERT_TRUE(Tovanix::SampleImageToDisplayGrid(image, values, 0.5, 1.0, 0.0, 1.0, 4, 2, nullptr, nullptr));
    EXPECT_EQ(values, (std::vector<uint16_t>{3, 3, 4, 4, 7, 7, 8, 8}));

    // Grid points that fall outside the image are 0, also in a buffer kept
    // from an earlier frame.
    values.assign(16, 9);
    ASSERT_TRUE(Tovanix::SampleImageToDisplayGrid(image, values, 0.5, 1.5, -1.0, 1.0, 4, 4, nullptr, nullptr));
    EXPECT_EQ(values, (std::vector<uint16_t>{0, 0, 0, 0, 0, 0, 0, 0, 3, 4, 0, 0, 7, 8, 0, 0}));

    // Mirrored: the part runs from right to left.
    ASSERT_TRUE(Tovanix::SampleImageToDisplayGrid(image, values, 1.0, 0.0, 0.0, 1.0, 4, 1, nullptr, nullptr));
    EXPECT_EQ(values, (std::vector<uint16_t>{0, 4, 3, 2}));
}

TEST(DisplayGrid, OverlayCodesComeFromTheSameSourcePoints) {
    const cv::Mat image = ImageFromRows({{1, 2, 3, 4}, {5, 6, 7, 8}});
    cv::Mat overlay = (cv::Mat_<uint8_t>(2, 4) << 0, 1, 2, 3, 3, 2, 1, 0);
    std::vector<uint16_t> values;
    std::vector<uint8_t> codes;
    ASSERT_TRUE(Tovanix::SampleImageToDisplayGrid(image, values, 0.0, 1.0, 0.0, 1.0, 2, 2, &overlay, &codes));
    EXPECT_EQ(values, (std::vector<uint16_t>{1, 3, 5, 7}));
    EXPECT_EQ(codes, (std::vector<uint8_t>{0, 2, 3, 1}));

    // An overlay smaller than the image is read only where it has pixels.
    const cv::Mat small = overlay(cv::Rect(0, 0, 2, 1)).clone();
    codes.assign(8, 5);
    ASSERT_TRUE(Tovanix::SampleImageToDisplayGrid(image, values, 0.0, 1.0, 0.0, 1.0, 4, 2, &small, &codes));
    EXPECT_EQ(codes, (std::vector<uint8_t>{0, 1, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(Tovanix::SampleImageToDisplayGrid(image, values, 1.0, 0.0, 0.0, 1.0, 4, 2, &small, &codes));
    EXPECT_EQ(codes, (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 0}));
}

TEST(DisplayGrid, RefusesImagesWithoutDataAndEmptyGrids) {
    std::vector<uint16_t> values;
    EXPECT_FALSE(Tovanix::SampleImageToDisplayGrid(cv::Mat(), values, 0, 1, 0, 1, 4, 4, nullptr, nullptr));
    const cv::Mat image(4, 4, CV_16UC1, cv::Scalar(1));
    EXPECT_FALSE(Tovanix::SampleImageToDisplayGrid(image, values, 0, 1, 0, 1, 0, 4, nullptr, nullptr));
    EXPECT_FALSE(Tovanix::SampleImageToDisplayGrid(image, values, 0, 1, 0, 1, 4, -2, nullptr, nullptr));
}

// Rows are copied a block or a step at a time with the odd point set on its
// own, and large grids are split over the cores: every point must still come
// from the source point the formula gives. The reference takes each point on
// its own.
TEST(DisplayGrid, EveryPointComesFromItsSourcePoint) {
    struct Case {
        int imageWidth, imageHeight, gridWidth, gridHeight;
        double x0, x1, y0, y1;
        int overlayWidth;  // may be narrower than the image
    };
    const Case cases[] = {
        {2448, 300, 2448, 300, 0.0, 1.0, 0.0, 1.0, 2448},    // full size: rounding repeats a column here and there
        {2448, 300, 1224, 150, 0.0, 1.0, 0.0, 1.0, 2448},    // half size: every second column
        {2447, 301, 815, 100, 0.0, 1.0, 0.0, 1.0, 2447},     // odd sizes, a third
        {1001, 700, 1001, 700, 0.0, 1.0, 0.0, 1.0, 1001},    // odd width at 1:1, grid large enough to be split
        {1000, 600, 1400, 900, 0.0, 1.0, 0.0, 1.0, 1000},    // enlarged: columns repeat throughout
        {1000, 600, 1000, 600, 0.25, 1.25, -0.1, 0.9, 1000},  // shifted past the right and top edges
        {1000, 600, 1000, 600, 1.0, 0.0, 0.0, 1.0, 1000},    // mirrored
        {1000, 600, 1000, 600, 0.0, 1.0, 0.0, 1.0, 700},     // narrower overlay
        {3, 2, 7, 5, 0.0, 1.0, 0.0, 1.0, 3},                 // tiny image
        {5, 5, 1, 1, 0.0, 1.0, 0.0, 1.0, 5},                 // one point
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.imageWidth << "x" << c.imageHeight << " onto " << c.gridWidth << "x"
                                        << c.gridHeight << " from " << c.x0 << ".." << c.x1 << ", " << c.y0 << ".."
                                        << c.y1);
        cv::Mat image(c.imageHeight, c.imageWidth, CV_16UC1);
        cv::randu(image, 0, 65536);
        cv::Mat overlay(c.imageHeight, c.overlayWidth, CV_8UC1);
        cv::randu(overlay, 0, 4);
        auto source = [](int i, int points, double from, double to, int size) {
            const double position = (static_cast<double>(i) / points * (to - from) + from) * size;
            return (position > -1.0 && position < size) ? static_cast<int>(position) : -1;
        };
        // A buffer kept from an earlier frame.
        std::vector<uint16_t> values(static_cast<size_t>(c.gridWidth) * c.gridHeight, 7);
        std::vector<uint8_t> codes(values.size(), 9);
        ASSERT_TRUE(Tovanix::SampleImageToDisplayGrid(image, values, c.x0, c.x1, c.y0, c.y1, c.gridWidth,
                                                      c.gridHeight, &overlay, &codes));
        ASSERT_EQ(values.size(), static_cast<size_t>(c.gridWidth) * c.gridHeight);
        ASSERT_EQ(codes.size(), values.size());
        for (int i = 0; i < c.gridHeight; ++i) {
            const int r = source(i, c.gridHeight, c.y0, c.y1, c.imageHeight);
            for (int j = 0; j < c.gridWidth; ++j) {
                const int col = source(j, c.gridWidth, c.x0, c.x1, c.imageWidth);
                const bool inside = r >= 0 && col >= 0;
                const size_t k = static_cast<size_t>(i) * c.gridWidth + j;
                ASSERT_EQ(values[k], inside ? image.at<uint16_t>(r, col) : 0) << "point " << j << ", " << i;
                ASSERT_EQ(codes[k], inside && col < c.overlayWidth ? overlay.at<uint8_t>(r, col) : 0)
                    << "point " << j << ", " << i;
            }
        }

        // Mapping the grid in bands gives what mapping each point alone gives.
        std::vector<uint32_t> pixels(values.size());
        Tovanix::MapIntensitiesToDisplayColours(values.data(), static_cast<int>(values.size()), pixels.data(), 50000,
                                                10000, codes.data(), 5, 250);
        for (size_t k = 0; k < values.size(); k += 1 + k % 97) {
            uint32_t alone = 0;
            Tovanix::MapIntensitiesToDisplayColours(&values[k], 1, &alone, 50000, 10000, &codes[k], 5, 250);
            ASSERT_EQ(pixels[k], alone) << "point " << k;
        }
    }
}

// ---------------------------------------------------------------- automatic contrast

TEST(AutomaticContrast, PercentilesOfValues) {
    const std::vector<uint16_t> values{9, 0, 5, 0};
    std::vector<int> out;
    EXPECT_TRUE(Tovanix::ComputePercentilesOfValues(values.data(), 4, {0.5f, 1.0f}, out));
    EXPECT_EQ(out, (std::vector<int>{0, 5}));  // targets 2 and 3 (4 held to n - 1)
    EXPECT_TRUE(Tovanix::ComputePercentilesOfValues(values.data(), 4, {1.0f, 0.0f, 0.75f}, out));
    EXPECT_EQ(out, (std::vector<int>{5, 0, 5}));
    EXPECT_TRUE(Tovanix::ComputePercentilesOfValues(values.data(), 0, {0.5f}, out));
    EXPECT_EQ(out, (std::vector<int>{0}));
}

TEST(AutomaticContrast, SampledRangeLooksAtEveryStepthRowAndColumn) {
    cv::Mat image(9, 9, CV_16UC1, cv::Scalar(60000));  // never sampled with step 4
    for (int r = 0; r < 9; r += 4) {
        for (int c = 0; c < 9; c += 4) {
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(100 * (r + c + 1));
        }
    }
    // Samples 100, 500, 900, 500, 900, 1300, 900, 1300, 1700.
    uint16_t low = 0;
    uint16_t high = 0;
    ASSERT_TRUE(Tovanix::ComputeSampledPercentileRange(image, 4, -0.5, 2.0, low, high));
    EXPECT_EQ(low, 0);      // fraction held to 0: target 0
    EXPECT_EQ(high, 1300);  // fraction held to 1: target 9, held to 8
    ASSERT_TRUE(Tovanix::ComputeSampledPercentileRange(image, 0, 0.5, 0.999, low, high));
    EXPECT_EQ(low, 60000);  // step 1: every pixel
    EXPECT_FALSE(Tovanix::ComputeSampledPercentileRange(cv::Mat(), 4, 0.5, 0.9, low, high));
}

// ---------------------------------------------------------------- file pictures

class FilePictures : public testing::Test {
protected:
    std::string Write(const std::string& name, const cv::Mat& image) {
        const std::filesystem::path path = std::filesystem::path(std::getenv("VELLORA_TEST_ROOT")) / name;
        EXPECT_TRUE(cv::imwrite(path.string(), image));
        return path.string();
    }

    // An 8 x 8 image whose samples at step 4 (rows and columns 0 and 4) are
    // 1000, 1000, 2000, 2000, so that its 50 % and 99.9 % values are 1000 and
    // 2000; `probe` is put at (1, 1) and `low` at (2, 2).
    static cv::Mat Channel(uint16_t probe, uint16_t low) {
        cv::Mat image(8, 8, CV_16UC1, cv::Scalar(1000));
        image.at<uint16_t>(4, 0) = 2000;
        image.at<uint16_t>(4, 4) = 2000;
        image.at<uint16_t>(1, 1) = probe;
        image.at<uint16_t>(2, 2) = low;
        return image;
    }
};

uint32_t PixelAt(const cv::Mat& picture, int row, int column) {
    return picture.at<uint32_t>(row, column);
}

TEST_F(FilePictures, TintedPictureUsesItsOwnContrastAndTint) {
    const std::string path = Write("tinted.png", Channel(1500, 500));
    struct Case {
        const char* channel;
        uint32_t probe;  // grey 128 = integer part of 500 x 255 / 1000 + 0.5
    };
    for (const Case& c : {Case{"red", Rgb(128, 0, 0)}, Case{"green", Rgb(0, 128, 0)}, Case{"blue", Rgb(128, 128, 128)}}) {
        cv::Mat picture;
        ASSERT_TRUE(Tovanix::MakeTintedPicture(path, c.channel, picture));
        ASSERT_EQ(picture.size(), cv::Size(8, 8));
        EXPECT_EQ(PixelAt(picture, 1, 1), c.probe) << c.channel;
        EXPECT_EQ(PixelAt(picture, 2, 2), 0u) << c.channel;  // below low
    }
    cv::Mat picture;
    EXPECT_FALSE(Tovanix::MakeTintedPicture(path + ".missing", "red", picture));
    EXPECT_TRUE(picture.empty());
}

TEST_F(FilePictures, CompositeAddsChannelsToGreenAndRed) {
    const std::string grey = Write("grey.png", Channel(1000, 1000));
    const std::string green = Write("green.png", Channel(1500, 500));
    const std::string red = Write("red.png", Channel(2000, 1000));

    // Alone, image 1 (contrast 0..2000 at 5 % and 95 % of four samples) is
    // scaled by 180: 1000 gives 90.
    cv::Mat picture;
    ASSERT_TRUE(Tovanix::MakeCompositePicture(grey, "", "", picture));
    EXPECT_EQ(PixelAt(picture, 1, 1), Rgb(90, 90, 90));

    // With channels it is scaled by 128 (64), and each channel adds
    // (v - low) x 150 / (high - low), rounded: +75 green at the probe, -74
    // (held at 0) at the low pixel; red adds 150 at its probe.
    ASSERT_TRUE(Tovanix::MakeCompositePicture(grey, green, red, picture));
    EXPECT_EQ(PixelAt(picture, 1, 1), Rgb(64 + 150, 64 + 75, 64));
    EXPECT_EQ(PixelAt(picture, 2, 2), Rgb(64, 0, 64));
    ASSERT_TRUE(Tovanix::MakeCompositePicture(grey, "", red, picture));
    EXPECT_EQ(PixelAt(picture, 1, 1), Rgb(64 + 150, 64, 64));
}

TEST_F(FilePictures, EqualContrastBoundsGiveBlackAndAddNothing) {
    // A uniform file's two contrast intensities are equal (16 samples at
    // step 4, so that 5 % is not 0): no scale to map with.
    const std::string flat = Write("flat.png", cv::Mat(16, 16, CV_16UC1, cv::Scalar(1234)));
    cv::Mat picture;
    ASSERT_TRUE(Tovanix::MakeTintedPicture(flat, "white", picture));
    EXPECT_EQ(PixelAt(picture, 1, 1), 0u);
    EXPECT_EQ(PixelAt(picture, 15, 15), 0u);
    ASSERT_TRUE(Tovanix::MakeCompositePicture(flat, "", "", picture));
    EXPECT_EQ(PixelAt(picture, 3, 3), 0u);

    // Flat channels over a grey image (contrast 0..2000) leave its grey as it is.
    cv::Mat greyImage(16, 16, CV_16UC1, cv::Scalar(1000));
    greyImage.rowRange(0, 8).setTo(0);
    greyImage.rowRange(8, 16).setTo(2000);
    greyImage.at<uint16_t>(1, 1) = 1000;
    const std::string grey = Write("grey16.png", greyImage);
    ASSERT_TRUE(Tovanix::MakeCompositePicture(grey, flat, flat, picture));
    EXPECT_EQ(PixelAt(picture, 1, 1), Rgb(64, 64, 64));
}

TEST_F(FilePictures, CompositeRefusesUnreadableOrMismatchedChannels) {
    const std::string grey = Write("grey.png", Channel(1000, 1000));
    const std::string other = Write("small.png", cv::Mat(4, 8, CV_16UC1, cv::Scalar(3)));
    cv::Mat picture;
    EXPECT_FALSE(Tovanix::MakeCompositePicture(grey, other, "", picture));
    EXPECT_FALSE(Tovanix::MakeCompositePicture(grey, "", grey + ".missing", picture));
    EXPECT_FALSE(Tovanix::MakeCompositePicture(grey + ".missing", "", "", picture));
    EXPECT_TRUE(picture.empty());
}

}  // namespace
