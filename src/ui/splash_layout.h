#pragma once
// What the about window decides about its shape and place: the outline cut from its image by a transparent
// colour, where it stands, where its credits area lies, and the text the credits scroll.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace spoolsweep::ui {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// The image's colour that is cut out of the window, as 0xRRGGBB (magenta reads the same as 0x00BBGGRR).
inline constexpr std::uint32_t kTransparentColour = 0xFF00FF;
// The credits area, in the about window's client coordinates.
inline constexpr Rect kCreditsArea{142, 310, 340, 434};
inline constexpr std::u16string_view kProgramVersion = u"3.4.0.15";

// The about window's style flags.
inline constexpr std::uint32_t kShowAnimated = 0x01;
inline constexpr std::uint32_t kHideAnimated = 0x02;
inline constexpr std::uint32_t kDropShadow = 0x04;
inline constexpr std::uint32_t kCenterOnScreen = 0x08;
inline constexpr std::uint32_t kCenterOnParent = 0x10;
inline constexpr std::uint32_t kCloseOnInput = 0x20;
inline constexpr std::uint32_t kAboutBoxStyle =
    kShowAnimated | kHideAnimated | kCenterOnScreen | kCloseOnInput;

// An image's pixels as 0xRRGGBB values (higher bits ignored), rows from the top, each row left to right.
struct PixelGrid {
    int width = 0;
    int height = 0;
    std::span<const std::uint32_t> pixels;
    [[nodiscard]] std::uint32_t At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)] &
               0xFFFFFF;
    }
};

// The window outline as one-pixel-high rectangles: rows from the bottom of the image to the top, in each row
// every maximal run of pixels other than the transparent colour, from its first column to just after its
// last.
[[nodiscard]] std::vector<Rect> OutlineRectangles(const PixelGrid& image, std::uint32_t transparent);

// Where the window's top-left corner goes, given the style: centred in the screen's full-screen client area,
// or on the parent's window rectangle, or left at `current`.
[[nodiscard]] Point PlaceSplash(std::uint32_t style, int width, int height, Point fullScreenSize, Rect parent,
                                Point current);

// The scrolled text: the version label immediately followed by the version and a line break, the credit
// paragraphs each after a blank line, and four line breaks that leave room before the text repeats.
[[nodiscard]] std::u16string ComposeCredits(std::u16string_view versionLabel, std::u16string_view version,
                                            std::span<const std::u16string> paragraphs);

}  // namespace spoolsweep::ui
