// Any bytes as copied text, decoded as UTF-8 or as raw UTF-16, through
// capture, the entry's key and recording into a five-entry history.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <QString>

#include "fuzz_check.h"
#include "history/captured_text.h"
#include "history/clip_item.h"
#include "history/history_list.h"

using namespace tuckshelf;

namespace {

constexpr std::size_t kMaxHistory = 5;

// An independent statement of what capture keeps, on code points: trimmed,
// line feeds as spaces, trimmed again; nothing when that is too long.
std::vector<char32_t> expectedCapture(const QString& copied) {
  const QList<uint> all = copied.toUcs4();
  std::vector<char32_t> cps(all.begin(), all.end());
  const auto trim = [](std::vector<char32_t>& v) {
    std::size_t b = 0, e = v.size();
    while (b < e && isWhitespaceOrNewline(v[b])) ++b;
    while (e > b && isWhitespaceOrNewline(v[e - 1])) --e;
    v = std::vector<char32_t>(v.begin() + std::ptrdiff_t(b), v.begin() + std::ptrdiff_t(e));
  };
  trim(cps);
  for (char32_t& c : cps)
    if (c == U'\n') c = U' ';
  trim(cps);
  qsizetype utf16Length = 0;
  for (char32_t c : cps) utf16Length += c > 0xFFFF ? 2 : 1;
  if (utf16Length > kMaxCapturedLength) cps.clear();
  return cps;
}

void capture(const QString& copied, History& history) {
  const std::optional<QString> text = normalizedCapture(copied);
  const std::vector<char32_t> expected = expectedCapture(copied);
  if (!text) {
    FUZZ_CHECK(expected.empty());
    return;
  }
  const QList<uint> got = text->toUcs4();
  FUZZ_CHECK(std::equal(got.begin(), got.end(), expected.begin(), expected.end()));
  FUZZ_CHECK(!text->isEmpty() && text->size() <= kMaxCapturedLength);
  FUZZ_CHECK(!text->contains(QChar(u'\n')));
  FUZZ_CHECK(!isWhitespaceOrNewline(got.front()) && !isWhitespaceOrNewline(got.back()));
  FUZZ_CHECK(normalizedCapture(*text) == text);  // capturing twice changes nothing

  ClipItem item(*text, nullptr);
  FUZZ_CHECK(item.key == QStringLiteral("t:") + *text);
  FUZZ_CHECK(keysEqual(item.key, item.key));
  for (const ClipItem& e : history) FUZZ_CHECK(keysEqual(e.key, item.key) == keysEqual(item.key, e.key));

  const QString key = item.key;
  recordInto(history, std::move(item), kMaxHistory);
  FUZZ_CHECK(!history.empty() && history.size() <= kMaxHistory);
  FUZZ_CHECK(history.front().key == key && history.front().text == text);
  // Each key once, in the sense keysEqual gives; each normalized once here,
  // not once per pair, as this is the costliest step of a run.
  std::vector<QString> canonical;
  for (const ClipItem& e : history) canonical.push_back(e.key.normalized(QString::NormalizationForm_D));
  for (std::size_t i = 0; i < canonical.size(); ++i)
    for (std::size_t j = i + 1; j < canonical.size(); ++j) FUZZ_CHECK(canonical[i] != canonical[j]);
}

}  // namespace

// The input is a run of copies, each a two-byte little-endian header and its
// bytes: the header's low bit picks UTF-16 over UTF-8, the rest is the
// length, cut to what remains. (Plain code rather than libFuzzer's data
// provider, so the target also builds without clang.)
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  History history;
  std::size_t at = 0;
  while (at < size) {
    const unsigned header = data[at] | (at + 1 < size ? unsigned(data[at + 1]) << 8 : 0u);
    at = std::min(at + 2, size);
    const std::size_t length = std::min<std::size_t>(header >> 1, size - at);
    const char* bytes = reinterpret_cast<const char*>(data + at);
    at += length;
    QString copied;
    if (header & 1) {
      copied = QString(qsizetype(length / 2), Qt::Uninitialized);
      std::memcpy(copied.data(), bytes, length / 2 * 2);
    } else {
      copied = QString::fromUtf8(bytes, qsizetype(length));
    }
    capture(copied, history);
  }
  // What the store keeps brings back the same entries.
  const History restored = historyFromStoredTexts(storedTexts(history));
  FUZZ_CHECK(restored.size() == history.size());
  for (std::size_t i = 0; i < history.size(); ++i) FUZZ_CHECK(restored[i].key == history[i].key);
  return 0;
}
