#include "app/ImageTypes.h"

#include <thread>

#include "app/tests/FrameTestSupport.h"

namespace {

class ImageTypeBoxTest : public FrameLogicTest {
protected:
    void SetUp() override {
        FrameLogicTest::SetUp();
        ImageTypeBox::Attach([this](const std::string& text) {
            shown.push_back(text);
            ImageTypeBox::TextChanged(text);
        });
    }
    void TearDown() override {
        ImageTypeBox::Detach();
        FrameLogicTest::TearDown();
    }
    void Names(const char* n1, const char* n2, const char* n3, const char* n4) {
        WriteIni(std::string("[ExperimentSettings]\r\nImageTypeName1=") + n1 + "\r\nImageTypeName2=" + n2 +
                 "\r\nImageTypeName3=" + n3 + "\r\nImageTypeName4=" + n4 + "\r\n");
    }
    std::vector<std::string> shown;
};

TEST_F(ImageTypeBoxTest, ShowImageTypeSkipsBlankNames) {
    struct Case {
        const char* names[4];
        int index;
        bool result;
        const char* text;  // the box's text afterwards
    };
    const Case cases[] = {
        {{"BF", "", "GFP", "RFP"}, 1, true, "GFP"},
        {{"BF", " \t", "", "RFP"}, 1, true, "RFP"},
        {{"BF", "", " ", "\t"}, 1, false, "start"},
        {{"BF", "DAPI", "GFP", "RFP"}, 0, true, "BF"},
        {{"BF", "DAPI", "GFP", "RFP"}, 3, true, "RFP"},
        {{"BF", "DAPI", "GFP", "RFP"}, 4, false, "start"},
        {{"BF", "DAPI", "GFP", "RFP"}, -1, false, "start"},
        // A name with a blank inside it is set and shown as it is.
        {{"", " Bright field", "", ""}, 0, true, " Bright field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        Names(c.names[0], c.names[1], c.names[2], c.names[3]);
        ImageTypeBox::TextChanged("start");
        shown.clear();

        EXPECT_EQ(ImageTypeBox::ShowImageType(c.index), c.result);
        EXPECT_EQ(ImageTypeBox::Text(), c.text);
        EXPECT_EQ(shown.size(), c.result ? 1u : 0u);
    }
}

TEST_F(ImageTypeBoxTest, SelectedIndexMatchesTheNameExactly) {
    Names("Bright Field", "GFP", "", "GFP");
    struct Case {
        const char* text;
        signed char index;
    };
    const Case cases[] = {
        {"Bright Field", 0}, {"GFP", 1},           {" Bright Field", -1}, {"bright field", -1},
        {"Bright Field ", -1}, {"RFP", -1},
    };
    for (const Case& c : cases) {
        ImageTypeBox::TextChanged(c.text);
        EXPECT_EQ(ImageTypeBox::GetSelectedImageTypeIndex(), c.index) << '"' << c.text << '"';
    }

    // Without the box there is no selection to compare: type 0.
    ImageTypeBox::Detach();
    EXPECT_EQ(ImageTypeBox::GetSelectedImageTypeIndex(), 0);
}

TEST_F(ImageTypeBoxTest, ThreadsReadTheTextWhileTheBoxChanges) {
    Names("BF", "GFP", "RFP", "DAPI");
    std::thread reader([] {
        for (int i = 0; i < 2000; ++i) {
            const std::string text = ImageTypeBox::Text();
            ASSERT_TRUE(text == "BF" || text == "GFP" || text == "RFP" || text == "DAPI" || text.empty()) << text;
        }
    });
    for (int i = 0; i < 500; ++i) ImageTypeBox::ShowImageType(i % 4);
    reader.join();
}

}  // namespace
