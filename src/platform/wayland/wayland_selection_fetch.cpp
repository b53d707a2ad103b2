#include "platform/wayland/wayland_selection_fetch.h"

#include <malloc.h>

#include <QCoreApplication>
#include <QStringDecoder>
#include <QThreadPool>
#include <algorithm>

#include "platform/qt/qt_clipboard_image.h"
#include "platform/wayland/wayland_data_control.h"
#include "platform/wayland/wayland_pipe_reader.h"

namespace tuckshelf {

Q_LOGGING_CATEGORY(lcWaylandClipboard, "tuckshelf.clipboard", QtWarningMsg)

namespace {

constexpr const char* kPasswordManagerHint = "x-kde-passwordManagerHint";
// Text types worth reading, best first.
constexpr const char* kTextTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};

QString decodeText(QByteArray bytes, const QByteArray& mimeType) {
  // Some sources end their text with a C string's terminator.
  while (bytes.endsWith('\0')) bytes.chop(1);
  if (mimeType == "STRING") return QString::fromLatin1(bytes);
  // Invalid sequences become U+FFFD; a leading U+FEFF is text the user
  // copied, not a byte-order mark to drop.
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
  return utf8.decode(bytes);
}

}  // namespace

WaylandSelectionFetch::WaylandSelectionFetch(WaylandConnection& connection, wl_proxy* offer,
                                             const QList<QByteArray>& mimeTypes, const ClipboardLimits& limits,
                                             std::function<void(WaylandSelectionContents)> onSettled)
    : connection_(connection),
      offer_(offer),
      limits_(limits),
      onSettled_(std::move(onSettled)),
      alive_(std::make_shared<WaylandSelectionFetch*>(this)) {
  for (const char* type : kTextTypes)
    if (mimeTypes.contains(type)) textCandidates_.emplace_back(type);
  for (const QByteArray& type : imageMimeTypesBestFirst())
    if (mimeTypes.contains(type)) imageCandidates_.push_back(type);
  // Other encodings of the picture are the source's conversions of it,
  // each as large: the one read stands for them.
  for (const QByteArray& type : mimeTypes)
    if (isContentFormat(type) && !type.startsWith("image/")) extraCandidates_.push_back(type);
  changeTimer_.setSingleShot(true);
  QObject::connect(&changeTimer_, &QTimer::timeout, [this] {
    qCDebug(lcWaylandClipboard) << "reading the clipboard took too long";
    if (step_ != Step::Extra) return settle({});
    reader_.reset();
    extraCandidates_.clear();
    readNextExtra();  // what came is kept
  });
  changeTimer_.start(limits.changeTimeout);
  if (mimeTypes.contains(kPasswordManagerHint))
    read(Step::Hint, kPasswordManagerHint);
  else
    readNextText();
}

WaylandSelectionFetch::~WaylandSelectionFetch() = default;  // a decode still running finishes on its own

void WaylandSelectionFetch::read(Step step, const QByteArray& mimeType, qsizetype maxBytes) {
  step_ = step;
  mimeType_ = mimeType;
  finishedReader_ = std::move(reader_);
  reader_ = std::make_unique<WaylandPipeReader>(
      [&](int writeEnd) { WaylandDataControl::receive(offer_, mimeType.constData(), writeEnd); },
      maxBytes < 0 ? limits_.maxTransferBytes : maxBytes, limits_.answerTimeout, limits_.stepTimeout,
      [this](std::optional<QByteArray> data) { onRead(std::move(data)); });
  connection_.flush();
}

void WaylandSelectionFetch::onRead(std::optional<QByteArray> data) {
  if (step_ == Step::Extra) {
    if (data && !data->isEmpty()) {
      const qsizetype before = formats_->heldBytes();
      formats_->add(mimeType_, std::move(*data));
      extraBytes_ += formats_->heldBytes() - before;
    }
    return readNextExtra();  // one that failed is left out
  }
  // Not answered in time, too large, or unreadable: the whole change reads as nothing.
  if (!data) {
    qCDebug(lcWaylandClipboard) << "no usable" << mimeType_ << "from the clipboard";
    return settle({});
  }
  switch (step_) {
    case Step::Hint:
      // Anything but an explicit "public" is secret.
      if (*data != "public") return settle({});
      return readNextText();
    case Step::Text:
      formats_->add(mimeType_, *data);
      text_ = decodeText(std::move(*data), mimeType_);
      // White space alone is no usable text: the picture, if any, is wanted too.
      if (!text_->trimmed().isEmpty() || imageCandidates_.empty()) return readNextExtra();
      return readNextImage();
    case Step::Image:
      formats_->add(mimeType_, *data);
      pictureBytes_ = std::move(*data);
      return readNextExtra();
    case Step::Extra:
    case Step::Decoding:
    case Step::Confirming:
    case Step::Settled:
      return;
  }
}

void WaylandSelectionFetch::readNextText() {
  if (textCandidates_.empty()) return readNextImage();
  // A source writes nothing for a type it cannot give, which reads as an
  // empty text: only the best type offered is asked for.
  read(Step::Text, textCandidates_.front());
}

void WaylandSelectionFetch::readNextImage() {
  if (imageCandidates_.empty()) return readNextExtra();
  read(Step::Image, imageCandidates_.front());
}

void WaylandSelectionFetch::readNextExtra() {
  while (!extraCandidates_.empty()) {
    const QByteArray type = extraCandidates_.front();
    extraCandidates_.erase(extraCandidates_.begin());
    if (formats_->find(type)) continue;  // read as the text
    // Larger than what is left of the cap fails as soon as it crosses it.
    return read(Step::Extra, type, std::min(limits_.maxTransferBytes, limits_.maxExtraBytes - extraBytes_));
  }
  if (!pictureBytes_.isEmpty()) return decode(std::exchange(pictureBytes_, {}));
  confirm({text_, nullptr, formats_});
}

void WaylandSelectionFetch::decode(QByteArray encoded) {
  // Decoding a large picture takes longer than a frame; the transfer is
  // over, so only the decode itself is left and the change's deadline stops.
  step_ = Step::Decoding;
  changeTimer_.stop();
  const qint64 maxPixels = limits_.maxImagePixels;
  std::weak_ptr<WaylandSelectionFetch*> alive = alive_;
  QThreadPool::globalInstance()->start([encoded = std::move(encoded), maxPixels, alive] {
    auto image = decodeClipboardImage(encoded, maxPixels);
    // The decoded picture and its copies are freed by now, but glibc keeps
    // such freed heap pages; give them back, or each large picture leaves
    // tens of MB resident.
    malloc_trim(0);
    // Back on the GUI thread, where the fetch lives and dies.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive, image = std::move(image)] {
          if (const auto fetch = alive.lock()) (*fetch)->confirm({(*fetch)->text_, image, (*fetch)->formats_});
        },
        Qt::QueuedConnection);
  });
}

void WaylandSelectionFetch::confirm(WaylandSelectionContents contents) {
  step_ = Step::Confirming;
  if (!changeTimer_.isActive()) changeTimer_.start(limits_.stepTimeout);  // stopped for a decode
  caughtUp_ = std::make_unique<WaylandConnection::Sync>(
      connection_, [this, contents = std::move(contents)]() mutable { settle(std::move(contents)); });
}

void WaylandSelectionFetch::settle(WaylandSelectionContents contents) {
  if (step_ == Step::Settled) return;
  step_ = Step::Settled;
  changeTimer_.stop();
  alive_.reset();
  const auto onSettled = std::move(onSettled_);
  onSettled(std::move(contents));
}

}  // namespace tuckshelf
