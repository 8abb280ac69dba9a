#include "ui/splash_layout.h"

namespace spoolsweep::ui {

std::vector<Rect> OutlineRectangles(const PixelGrid& image, std::uint32_t transparent) {
    std::vector<Rect> rectangles;
    transparent &= 0xFFFFFF;
    for (int y = image.height - 1; y >= 0; --y) {
        int x = 0;
        while (x < image.width) {
            while (x < image.width && image.At(x, y) == transparent) {
                ++x;
            }
            int first = x;
            while (x < image.width && image.At(x, y) != transparent) {
                ++x;
            }
            if (x > first) {
                rectangles.push_back({first, y, x, y + 1});
            }
        }
    }
    return rectangles;
}

Point PlaceSplash(std::uint32_t style, int width, int height, Point fullScreenSize, Rect parent,
                  Point current) {
    if ((style & kCenterOnScreen) != 0) {
        return {(fullScreenSize.x - width) / 2, (fullScreenSize.y - height) / 2};
    }
    if ((style & kCenterOnParent) != 0) {
        return {parent.left + (parent.right - parent.left - width) / 2,
                parent.top + (parent.bottom - parent.top - height) / 2};
    }
    return current;
}

std::u16string ComposeCredits(std::u16string_view versionLabel, std::u16string_view version,
                              std::span<const std::u16string> paragraphs) {
    constexpr std::u16string_view kLineBreak = u"\r\n";
    std::u16string text{versionLabel};
    text.append(version).append(kLineBreak);
    for (const std::u16string& paragraph : paragraphs) {
        text.append(kLineBreak).append(paragraph).append(kLineBreak);
    }
    for (int i = 0; i < 4; ++i) {
        text.append(kLineBreak);
    }
    return text;
}

}  // namespace spoolsweep::ui
