#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tuckshelf {

// One format of a clip as its owner offered it: a MIME type on Wayland, a
// target on X11 (where most are MIME types too).
struct ClipFormat {
  QByteArray name;
  QByteArray data;
  QByteArray type = {};  // what X11 labelled the bytes as; empty: the name itself
};

// Every format of one clip, in the order its owner offered them. Formats
// with the same bytes (UTF8_STRING and text/plain;charset=utf-8, say) share
// one copy of them.
class ClipFormats {
 public:
  void add(QByteArray name, QByteArray data, QByteArray type = {});
  const std::vector<ClipFormat>& list() const { return formats_; }
  bool empty() const { return formats_.empty(); }
  const ClipFormat* find(const QByteArray& name) const;
  // Bytes held, each shared copy once.
  qsizetype heldBytes() const { return heldBytes_; }

  // A hash of the formats beyond plain text and pictures, which the entry's
  // key carries; none when there are none. Stable for the life of the process.
  std::optional<std::int64_t> richDigest() const;
  // The names of the files a file manager copied (text/uri-list of file
  // URIs), in order; empty when the clip is no files.
  QStringList fileNames() const;
  // What text/html reads as, for a clip that offers no text of its own;
  // none without HTML, or past kMaxHtmlForText bytes of it, which would hold
  // up the program while parsed.
  std::optional<QString> htmlText() const;

 private:
  std::vector<ClipFormat> formats_;
  qsizetype heldBytes_ = 0;
};

// About 20 ms of parsing on a desktop processor.
inline constexpr qsizetype kMaxHtmlForText = 128 << 10;

// The names plain text goes by, which the entry's text stands for.
bool isPlainTextFormat(const QByteArray& name);
// False for what tells about the clipboard rather than holding the clip
// (TARGETS, TIMESTAMP, the password manager's hint, this program's marker).
bool isContentFormat(const QByteArray& name);

}  // namespace tuckshelf
