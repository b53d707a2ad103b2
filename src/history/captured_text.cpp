#include "history/captured_text.h"

#include <QChar>
#include <QStringView>

namespace tuckshelf {

bool isWhitespaceOrNewline(char32_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  switch (QChar::category(c)) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

namespace {

// Steps over one code point at a time so that a surrogate pair is judged
// as the character it encodes.
qsizetype firstKept(QStringView s) {
  qsizetype i = 0;
  while (i < s.size()) {
    char32_t c = s[i].unicode();
    qsizetype width = 1;
    if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(s[i], s[i + 1]);
      width = 2;
    }
    if (!isWhitespaceOrNewline(c)) return i;
    i += width;
  }
  return s.size();
}

qsizetype endOfKept(QStringView s, qsizetype begin) {
  qsizetype end = s.size();
  while (end > begin) {
    char32_t c = s[end - 1].unicode();
    qsizetype width = 1;
    if (QChar::isLowSurrogate(c) && end - 2 >= begin && s[end - 2].isHighSurrogate()) {
      c = QChar::surrogateToUcs4(s[end - 2], s[end - 1]);
      width = 2;
    }
    if (!isWhitespaceOrNewline(c)) return end;
    end -= width;
  }
  return begin;
}

}  // namespace

QString trimmedWhitespaceAndNewlines(const QString& text) {
  const qsizetype begin = firstKept(text);
  const qsizetype end = endOfKept(text, begin);
  if (begin == 0 && end == text.size()) return text;  // shares the buffer
  return text.mid(begin, end - begin);
}

std::optional<QString> normalizedCapture(const QString& copied) {
  QString text = trimmedWhitespaceAndNewlines(copied);
  // Judged before the copy that replace() makes. The line ends it turns
  // into spaces are all inside, so the second trim leaves the length as is.
  if (text.isEmpty() || text.size() > kMaxCapturedLength) return std::nullopt;
  // Windows-style documents and web pages end lines with CR LF or a lone
  // CR; each line end becomes one space, as a line feed does.
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  text.replace(QChar(u'\r'), QChar(u' '));
  text.replace(QChar(u'\n'), QChar(u' '));
  return trimmedWhitespaceAndNewlines(text);
}

}  // namespace tuckshelf
