#pragma once

#include <optional>

#include <QString>

namespace tuckshelf {

// White space as the capture trims it: Unicode general category Z, the
// controls U+0009 to U+000D, and U+0085.
bool isWhitespaceOrNewline(char32_t c);

// `text` without leading and trailing white space.
QString trimmedWhitespaceAndNewlines(const QString& text);

// The text a capture records: trimmed, every line feed turned into a
// space, trimmed again. None when nothing but white space was copied.
std::optional<QString> normalizedCapture(const QString& copied);

}  // namespace tuckshelf
