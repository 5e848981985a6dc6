#pragma once

// A channel image with a known split line, and split-line templates in a data
// root that describe it: the mark (24 x 24 pixels at 10 pixels per
// millimetre) lies at (50, 140) and, 4 rows lower, at (420, 144) of a 300 x
// 600 noise image. With channel rows 100 and 201 the middle row is 150, so the
// split line lies 2 rows below it and the rotation is atan(4 / 370).

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <string>

inline cv::Mat SplitLineMark()
{
    cv::Mat mark(24, 24, CV_8UC1, cv::Scalar(40));
    mark(cv::Rect(0, 0, 12, 12)).setTo(220);
    mark(cv::Rect(12, 12, 12, 12)).setTo(220);
    return mark;
}

inline cv::Mat SplitLineChannel(bool withMarks)
{
    cv::RNG rng(3);
    cv::Mat image(300, 600, CV_8UC1);
    rng.fill(image, cv::RNG::UNIFORM, 90, 110);
    if (withMarks) {
        SplitLineMark().copyTo(image(cv::Rect(50, 140, 24, 24)));
        SplitLineMark().copyTo(image(cv::Rect(420, 144, 24, 24)));
    }
    return image;
}

// The template folder with one split-line template listed for `types`.
inline void WriteSplitLineTemplates(const std::filesystem::path& dataRoot, const std::string& types)
{
    const std::filesystem::path folder = dataRoot / "Templates" / "splitline-templates";
    std::filesystem::create_directories(folder);
    cv::imwrite((folder / "Splitline-A.png").string(), SplitLineMark());
    std::ofstream(folder / "templates.txt") << "Comment\tCartridgeType\tImagePixelsPermm\tTemplateImage\r\n"
                                            << "\r\n"
                                            << "x\t" << types << "\t10\tSplitline-A.png\r\n"
                                            << "x\t" << types << "\t10\tMeniscus-A.png\r\n"
                                            << "short line\r\n";
}
