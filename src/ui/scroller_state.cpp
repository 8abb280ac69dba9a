#include "ui/scroller_state.h"

#include <algorithm>
#include <cstdlib>

namespace spoolsweep::ui {

std::optional<ScrollRequest> ScrollForKey(unsigned virtualKey) {
    switch (virtualKey) {
        case kKeyUp:
            return ScrollRequest::LineUp;
        case kKeyDown:
            return ScrollRequest::LineDown;
        case kKeyPageUp:
            return ScrollRequest::PageUp;
        case kKeyPageDown:
            return ScrollRequest::PageDown;
        default:
            return std::nullopt;
    }
}

WheelScrolls ScrollsForWheel(int delta) {
    return {delta >= 1 ? ScrollRequest::LineUp : ScrollRequest::LineDown, std::abs(delta) / kWheelDelta + 1};
}

Colour ShadowColour(Colour text, Colour background) {
    Colour shadow = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        Colour channel = (((text >> shift) & 0xFF) + 2 * ((background >> shift) & 0xFF)) / 3;
        shadow |= channel << shift;
    }
    return shadow;
}

bool ScrollerState::Resize(int width, int height) {
    if (width == clientWidth && height == clientHeight) {
        return false;
    }
    clientWidth = width;
    clientHeight = height;
    return true;
}

std::vector<int> ScrollerState::TextRows(int textHeight) const {
    std::vector<int> rows;
    int y = offset + kTextMargin;
    rows.push_back(y);
    while (wrap && y + kCopyGap + textHeight < clientHeight) {
        y += kCopyGap + textHeight;
        rows.push_back(y);
    }
    return rows;
}

TickEffects ScrollerState::OnTimer(unsigned timerId, HoverFacts hover) {
    TickEffects effects;
    if (hoverScrollBar != 0) {
        effects.updateScrollBar = contentHeight > clientHeight && hover.topLevelActive && hover.cursorInside;
        effects.scrollBarMax = ScrollRangeMax();
        effects.scrollBarPosition = ScrollPosition();
        effects.hideScrollBar = true;
    }
    if (timerId == pauseTimer) {
        paused = false;
        effects.stopPauseTimer = true;
    }
    if (paused) {
        return effects;
    }
    --offset;
    if (contentHeight + offset < 0) {
        // The text has left the control: under wrap it restarts at the top, else it comes in from the bottom.
        offset = wrap ? 0 : clientHeight;
        effects.notifyParent = true;
    }
    // Each time the scrolling brings the text back to its first position (the restart after a wrap, or the
    // text that came in from the bottom reaching the top) it is held there for a pause as long as the one at
    // the start, so that the version line can be read on every round. pauseDelay stays as it is, so a user's
    // scrolling goes on pausing the text as well.
    if (offset == 0) {
        paused = true;
        effects.startPauseTimer = true;
    }
    effects.repaint = true;
    return effects;
}

ScrollEffects ScrollerState::OnScroll(ScrollRequest request, int thumbPosition) {
    ScrollEffects effects;
    if (pauseDelay > scrollDelay) {
        paused = true;
        effects.startPauseTimer = true;
    }
    switch (request) {
        case ScrollRequest::LineUp:
            offset += kLineStep;
            break;
        case ScrollRequest::LineDown:
            offset -= kLineStep;
            break;
        case ScrollRequest::PageUp:
            offset += clientHeight;
            break;
        case ScrollRequest::PageDown:
            offset -= clientHeight;
            break;
        case ScrollRequest::ThumbPosition:
        case ScrollRequest::ThumbTrack:
            offset = -thumbPosition;
            break;
        case ScrollRequest::Top:
            offset = 0;
            break;
        case ScrollRequest::Bottom:
            offset = clientHeight - contentHeight;
            break;
        case ScrollRequest::EndScroll:
            break;
    }
    // The text's end may not rise above the bottom edge, nor its start sink below the top; a text shorter
    // than the control stays at the top.
    offset = std::min(std::max(offset, clientHeight - contentHeight), 0);
    effects.repaint = true;
    return effects;
}

}  // namespace spoolsweep::ui
