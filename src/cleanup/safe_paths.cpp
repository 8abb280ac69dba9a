#include "cleanup/safe_paths.h"

#include <algorithm>

#include "platform/files.h"

namespace spoolsweep {
namespace {

constexpr std::u16string_view kForbiddenInFileNames = u"\\/:*?\"<>|";

bool IsSpecialComponent(std::u16string_view component) {
    return component.empty() || component == u"." || component == u"..";
}

// Calls visit for every backslash-separated component of text; stops at the first it rejects.
template <class Visit>
bool AllComponents(std::u16string_view text, Visit visit) {
    for (;;) {
        const std::size_t end = text.find(u'\\');
        if (!visit(text.substr(0, end))) {
            return false;
        }
        if (end == std::u16string_view::npos) {
            return true;
        }
        text.remove_prefix(end + 1);
    }
}

bool IsUsableTailComponent(std::u16string_view component) {
    return !IsSpecialComponent(component) && component.back() != u'.' && component.back() != u' ';
}

std::optional<std::u16string> FillPlaceholders(std::u16string_view tail,
                                               std::initializer_list<std::u16string_view> names) {
    std::u16string filled;
    const auto* name = names.begin();
    for (std::size_t at = 0; at < tail.size(); ++at) {
        if (tail.substr(at, 2) != u"%s") {
            filled.push_back(tail[at]);
            continue;
        }
        if (name == names.end() || !IsPlainFileNamePart(*name)) {
            return std::nullopt;
        }
        filled.append(*name++);
        ++at;
    }
    return filled;
}

}  // namespace

bool IsPlainFileNamePart(std::u16string_view name) {
    return std::none_of(name.begin(), name.end(), [](char16_t unit) {
        return unit < 0x20 || kForbiddenInFileNames.find(unit) != std::u16string_view::npos;
    });
}

std::optional<std::u16string> BuildPathInFolder(std::u16string_view folder, std::u16string_view tail,
                                                std::initializer_list<std::u16string_view> names) {
    while (!folder.empty() && folder.back() == u'\\') {
        folder.remove_suffix(1);
    }
    if (folder.empty() || folder.find_first_of(u"*?") != std::u16string_view::npos) {
        return std::nullopt;
    }
    const auto filled = FillPlaceholders(tail, names);
    if (!filled || !AllComponents(*filled, IsUsableTailComponent)) {
        return std::nullopt;
    }
    std::u16string path(folder);
    path.push_back(u'\\');
    path.append(*filled);
    if (path.size() >= kMaxPath) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::u16string> BuildSubkeyPath(std::u16string_view parent, std::u16string_view name) {
    const std::u16string_view reachable = name.substr(std::min(name.find_first_not_of(u'\\'), name.size()));
    if (reachable.empty() ||
        !AllComponents(reachable, [](std::u16string_view part) { return !IsSpecialComponent(part); })) {
        return std::nullopt;
    }
    std::u16string path(parent);
    path.push_back(u'\\');
    path.append(name);
    return path;
}

}  // namespace spoolsweep
