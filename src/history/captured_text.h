#pragma once

#include <optional>

#include <QString>

namespace tuckshelf {

// White space as the capture trims it: Unicode general category Z, the
// controls U+0009 to U+000D, and U+0085.
bool isWhitespaceOrNewline(char32_t c);

// `text` without leading and trailing white space.
QString trimmedWhitespaceAndNewlines(const QString& text);

// Longest text a capture records, in UTF-16 code units once trimmed. Every
// change rewrites the whole history to disk and compares keys in full, so a
// 100 MB text would stall each later copy for seconds while it stays in the
// history; a longer copy counts as nothing, as white space alone does.
inline constexpr qsizetype kMaxCapturedLength = qsizetype(2) << 20;

// The text a capture records: trimmed, every line end (LF, CR LF or a
// lone CR) turned into one space, trimmed again. None when nothing but white space was copied, or
// more than kMaxCapturedLength.
std::optional<QString> normalizedCapture(const QString& copied);

}  // namespace tuckshelf
