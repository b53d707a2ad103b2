// Any bytes as copied text, decoded as UTF-8 or as raw UTF-16, through
// capture, the entry's key and recording into a five-entry history.

#include <algorithm>
#include <numeric>
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
// nothing when too long, every line end (CR LF, CR or LF) one space,
// trimmed again.
std::vector<char32_t> expectedCapture(const QString& copied) {
  const QList<uint> all = copied.toUcs4();
  std::vector<char32_t> cps(all.begin(), all.end()), joined;
  const auto trim = [](std::vector<char32_t>& v) {
    while (!v.empty() && isWhitespaceOrNewline(v.back())) v.pop_back();
    v.erase(v.begin(), std::find_if_not(v.begin(), v.end(), isWhitespaceOrNewline));
  };
  trim(cps);
  const auto utf16 = [](qsizetype n, char32_t c) { return n + 1 + (c > 0xFFFF); };
  const qsizetype utf16Length = std::accumulate(cps.begin(), cps.end(), qsizetype(0), utf16);
  if (utf16Length > kMaxCapturedLength) return {};
  for (std::size_t i = 0; i < cps.size(); ++i) {
    const bool lineEnd = cps[i] == U'\n' || cps[i] == U'\r';
    if (cps[i] == U'\r' && i + 1 < cps.size() && cps[i + 1] == U'\n') ++i;
    joined.push_back(lineEnd ? U' ' : cps[i]);
  }
  trim(joined);
  return joined;
}

void capture(const QString& copied, History& history) {
  const std::optional<QString> text = normalizedCapture(copied);
  const std::vector<char32_t> expected = expectedCapture(copied);
  FUZZ_CHECK(text.has_value() != expected.empty());
  if (!text) return;
  const QList<uint> got = text->toUcs4();
  FUZZ_CHECK(std::equal(got.begin(), got.end(), expected.begin(), expected.end()) && !text->isEmpty());
  FUZZ_CHECK(normalizedCapture(*text) == text);  // capturing twice changes nothing

  ClipItem item(*text, nullptr);
  FUZZ_CHECK(item.key == QStringLiteral("t:") + *text && keysEqual(item.key, item.key));
  for (const ClipItem& e : history) FUZZ_CHECK(keysEqual(e.key, item.key) == keysEqual(item.key, e.key));

  const ClipKey key = item.key;
  recordInto(history, std::move(item), kMaxHistory);
  FUZZ_CHECK(!history.empty() && history.size() <= kMaxHistory && history.front().key == key);
  // Each key once, in the sense keysEqual gives; each normalized once here,
  // not once per pair, as this is the costliest step of a run.
  std::vector<QString> canonical;
  for (const ClipItem& e : history) canonical.push_back(e.key.toString().normalized(QString::NormalizationForm_D));
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
    QString copied = header & 1 ? QString(qsizetype(length / 2), Qt::Uninitialized)
                                : QString::fromUtf8(bytes, qsizetype(length));
    if (header & 1) std::memcpy(copied.data(), bytes, length / 2 * 2);
    capture(copied, history);
  }
  // What the store keeps brings back the same entries.
  const History restored = historyFromStoredTexts(storedTexts(history));
  FUZZ_CHECK(restored.size() == history.size());
  for (std::size_t i = 0; i < history.size(); ++i) FUZZ_CHECK(restored[i].key == history[i].key);
  return 0;
}
