#include "operator/PromptLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>

#include "app/VelloraApp.h"
#include "support/Profile.h"
#include "support/String.h"

std::vector<std::string> SplitButtonLabels(const std::string& list)
{
    std::vector<std::string> labels;
    Tovanix::String text(list.c_str());
    std::unique_ptr<Tovanix::String[]> fields;
    const int32_t count = text.Split(fields, ';');
    for (int32_t i = 0; i < count; ++i)
        labels.emplace_back(fields[static_cast<size_t>(i)].c_str());
    return labels;
}

double ReadMonitorScaleFactor()
{
    char buffer[32] = {};
    double scale = 1;
    if (!Tovanix::E_GetPrivateProfileString("ExperimentSettings", "MonitorScaleFactor", "", buffer, sizeof buffer,
                                            g_IniPath.GetString()) ||
        std::sscanf(buffer, "%lf", &scale) != 1 || !std::isfinite(scale) || scale <= 0)
        return 1;
    return scale;
}

RECT SizeButtonToText(const RECT& button, int textWidth, int letterWWidth, double scale)
{
    const int text = static_cast<int>(std::lround(textWidth * scale));
    const int letter = static_cast<int>(std::lround(letterWWidth * scale));
    const int oldWidth = button.right - button.left;
    const int newWidth = text + 2 * letter;
    const int d = (newWidth - oldWidth) / 2;
    RECT sized = button;
    sized.left -= d;
    sized.right += d;
    return sized;
}

int ButtonGap(double scale) { return static_cast<int>(std::lround(8 * scale)); }

void PlaceButtonRow(std::vector<RECT>& buttons, int dialogWidth, int gap)
{
    if (buttons.empty())
        return;
    const int n = static_cast<int>(buttons.size());
    int total = n * gap - 1;
    for (const RECT& b : buttons)
        total += b.right - b.left + 1;
    std::vector<size_t> order(buttons.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return buttons[a].left < buttons[b].left; });
    int left = (dialogWidth - total + 1) / 2;
    for (size_t i : order) {
        RECT& b = buttons[i];
        const int width = b.right - b.left;
        b.left = left;
        b.right = left + width;
        left += width + 1 + gap;
    }
}
