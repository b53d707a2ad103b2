#include "history/clip_formats.h"

#include <QHashFunctions>
#include <QStringDecoder>
#include <QTextDocumentFragment>
#include <QUrl>

namespace tuckshelf {

void ClipFormats::add(QByteArray name, QByteArray data, QByteArray type) {
  bool shared = false;
  for (const ClipFormat& f : formats_) {
    if (f.data.size() == data.size() && f.data == data) {
      data = f.data;  // implicitly shared: one copy for both names
      shared = true;
      break;
    }
  }
  if (!shared) heldBytes_ += data.size();
  formats_.push_back({std::move(name), std::move(data), std::move(type)});
}

const ClipFormat* ClipFormats::find(const QByteArray& name) const {
  for (const ClipFormat& f : formats_)
    if (f.name == name) return &f;
  return nullptr;
}

std::optional<std::int64_t> ClipFormats::richDigest() const {
  std::optional<std::int64_t> digest;
  size_t h = QHashSeed::globalSeed();
  for (const ClipFormat& f : formats_) {
    if (isPlainTextFormat(f.name) || f.name.startsWith("image/")) continue;
    h = qHash(f.name, h);
    h = qHash(f.data, h);
    digest = std::int64_t(h);
  }
  return digest;
}

QStringList ClipFormats::fileNames() const {
  const ClipFormat* list = find("text/uri-list");
  if (!list) return {};
  QStringList names;
  for (const QByteArray& line : list->data.split('\n')) {
    const QByteArray uri = line.trimmed();
    if (uri.isEmpty() || uri.startsWith('#')) continue;
    const QUrl url = QUrl::fromEncoded(uri);
    if (!url.isLocalFile()) return {};  // links, not files
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);  // a folder
    const QString name = path.section(u'/', -1);
    names.push_back(name.isEmpty() ? path : name);
  }
  return names;
}

std::optional<QString> ClipFormats::htmlText() const {
  const ClipFormat* html = find("text/html");
  if (!html || html->data.size() > kMaxHtmlForText) return std::nullopt;
  // Browsers write UTF-8 or, Firefox on X11, UTF-16 with its byte-order mark.
  QStringDecoder decoder(QStringConverter::encodingForHtml(html->data).value_or(QStringConverter::Utf8));
  const QString markup = decoder.decode(html->data);
  // Pictures in it stand as U+FFFC, which no one would read.
  return QTextDocumentFragment::fromHtml(markup).toPlainText().remove(QChar::ObjectReplacementCharacter);
}

bool isPlainTextFormat(const QByteArray& name) {
  return name == "UTF8_STRING" || name == "STRING" || name == "TEXT" || name == "COMPOUND_TEXT" ||
         name == "text/plain" || name.toLower() == "text/plain;charset=utf-8";
}

bool isContentFormat(const QByteArray& name) {
  static const QByteArray kNotContent[] = {"TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE",
                                          "x-kde-passwordManagerHint"};
  for (const QByteArray& n : kNotContent)
    if (name == n) return false;
  return !name.isEmpty() && !name.startsWith("INSERT_") && !name.startsWith("application/x-tuckshelf");
}

}  // namespace tuckshelf
