#include "platform/x11/x11_selection_fetch.h"

#include <malloc.h>

#include <QStringDecoder>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cstring>

#include "platform/x11/x11_selection_atoms.h"
#include "platform/x11/x11_connection.h"
#include "platform/qt/qt_clipboard_image.h"

namespace tuckshelf {
namespace {

using Outcome = X11SelectionTransfer::Outcome;

QString decodeText(QByteArray bytes, xcb_atom_t type, const X11SelectionAtoms& atoms) {
  // Some owners end their text with a C string's terminator.
  while (bytes.endsWith('\0')) bytes.chop(1);
  // COMPOUND_TEXT starts in Latin-1; its rare escapes come out as symbols.
  if (type == XCB_ATOM_STRING || type == atoms.compoundText) return QString::fromLatin1(bytes);
  // Invalid sequences become U+FFFD; a leading U+FEFF is text the user
  // copied, not a byte-order mark to drop.
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
  return utf8.decode(bytes);
}

std::vector<xcb_atom_t> atomsIn(const X11SelectionTransfer::Result& result) {
  std::vector<xcb_atom_t> atoms(result.data.size() / sizeof(xcb_atom_t));
  std::memcpy(atoms.data(), result.data.constData(), atoms.size() * sizeof(xcb_atom_t));
  return atoms;
}

}  // namespace

X11SelectionFetch::X11SelectionFetch(X11Connection& connection,
                                     const X11SelectionAtoms& atoms,
                                     const X11SelectionLimits& limits, xcb_timestamp_t time,
                                     std::function<void(X11SelectionContents)> onSettled)
    : connection_(connection),
      atoms_(atoms),
      limits_(limits),
      time_(time),
      onSettled_(std::move(onSettled)),
      window_(connection.createWindow()),
      transfer_(
          connection, atoms, window_, limits.answerTimeout, limits.stepTimeout, limits.maxTransferBytes,
          [this](X11SelectionTransfer::Result result) { onTransferDone(std::move(result)); }) {
  changeTimer_.setSingleShot(true);
  connect(&changeTimer_, &QTimer::timeout, this, [this] {
    qCDebug(lcClipboard) << "reading the clipboard took too long";
    if (step_ != Step::Extra) return settle({});
    transfer_.cancel();
    extraCandidates_.clear();
    requestNextExtra();  // what came is kept
  });
  changeTimer_.start(limits.changeTimeout);
  connect(&decoding_, &QFutureWatcherBase::finished, this, [this] {
    // The decoded picture and its RGBA copy are freed by now, but glibc
    // keeps such freed heap pages; give them back, or each large picture
    // leaves tens of MB resident.
    malloc_trim(0);
    settle({text_, decoding_.result(), formats_});
  });
  request(Step::Targets, atoms.targets);
}

X11SelectionFetch::~X11SelectionFetch() {
  // A decode still running finishes on its own; its result is dropped.
  xcb_destroy_window(connection_.get(), window_);
  connection_.flushSoon();
}

void X11SelectionFetch::handleSelectionNotify(const xcb_selection_notify_event_t& event) {
  transfer_.handleSelectionNotify(event);
}

void X11SelectionFetch::handlePropertyNotify(const xcb_property_notify_event_t& event) {
  transfer_.handlePropertyNotify(event);
}

void X11SelectionFetch::request(Step step, xcb_atom_t target) {
  step_ = step;
  transfer_.start(target, time_);
}

void X11SelectionFetch::onTransferDone(X11SelectionTransfer::Result result) {
  switch (step_) {
    case Step::Targets:
      return onTargets(result);
    case Step::Hint:
      return onHint(result);
    case Step::Text:
      return onText(std::move(result));
    case Step::Image:
      return onImage(std::move(result));
    case Step::Extra:
      return onExtra(result);
    case Step::Decoding:
    case Step::Settled:
      return;
  }
}

void X11SelectionFetch::onTargets(const X11SelectionTransfer::Result& result) {
  if (result.outcome == Outcome::Failed) return settle({});
  if (result.outcome == Outcome::Refused) {
    // An owner too old to list its targets may still have text.
    textCandidates_ = {atoms_.utf8String, XCB_ATOM_STRING};
    return requestNextText();
  }
  const std::vector<xcb_atom_t> offered = atomsIn(result);
  const auto isOffered = [&](xcb_atom_t atom) {
    return std::find(offered.begin(), offered.end(), atom) != offered.end();
  };
  for (xcb_atom_t target : atoms_.textTargets)
    if (isOffered(target)) textCandidates_.push_back(target);
  for (const auto& target : atoms_.imageTargets)
    if (isOffered(target.atom)) imageCandidates_.push_back(target.atom);
  const std::vector<QByteArray> names = atomNames(connection_.get(), offered);
  for (size_t i = 0; i < offered.size(); ++i) {
    names_.emplace_back(offered[i], names[i]);
    // Other encodings of the picture are the owner's conversions of it,
    // each as large: the one read stands for them.
    if (isContentFormat(names[i]) && !names[i].startsWith("image/")) extraCandidates_.push_back(offered[i]);
  }
  if (isOffered(atoms_.passwordManagerHint)) return request(Step::Hint, atoms_.passwordManagerHint);
  requestNextText();
}

void X11SelectionFetch::onHint(const X11SelectionTransfer::Result& result) {
  // Anything but an explicit "public", unanswered hints included, is secret.
  if (result.outcome != Outcome::Received || result.data != "public") return settle({});
  requestNextText();
}

void X11SelectionFetch::requestNextText() {
  if (textCandidates_.empty()) return requestNextImage();
  const xcb_atom_t target = textCandidates_.front();
  textCandidates_.erase(textCandidates_.begin());
  request(Step::Text, target);
}

void X11SelectionFetch::onText(X11SelectionTransfer::Result result) {
  if (result.outcome == Outcome::Failed) return settle({});
  if (result.outcome == Outcome::Refused) return requestNextText();
  keep(transfer_.target(), result);
  text_ = decodeText(std::move(result.data), result.type, atoms_);
  // White space alone is no usable text: the picture, if any, is wanted too.
  if (!text_->trimmed().isEmpty() || imageCandidates_.empty()) return requestNextExtra();
  requestNextImage();
}

void X11SelectionFetch::requestNextImage() {
  if (imageCandidates_.empty()) return requestNextExtra();
  const xcb_atom_t target = imageCandidates_.front();
  imageCandidates_.erase(imageCandidates_.begin());
  request(Step::Image, target);
}

void X11SelectionFetch::onImage(X11SelectionTransfer::Result result) {
  if (result.outcome == Outcome::Failed) return settle({});
  if (result.outcome == Outcome::Refused) return requestNextImage();
  keep(transfer_.target(), result);
  pictureBytes_ = std::move(result.data);
  requestNextExtra();
}

void X11SelectionFetch::requestNextExtra() {
  while (!extraCandidates_.empty()) {
    const xcb_atom_t target = extraCandidates_.front();
    extraCandidates_.erase(extraCandidates_.begin());
    if (formats_->find(nameOf(target))) continue;  // read as the text
    step_ = Step::Extra;
    // Larger than what is left of the cap fails at once, from its announced size.
    transfer_.start(target, time_, std::min(limits_.maxTransferBytes, limits_.maxExtraBytes - extraBytes_));
    return;
  }
  if (!pictureBytes_.isEmpty()) return decode(std::exchange(pictureBytes_, {}));
  settle({text_, nullptr, formats_});
}

void X11SelectionFetch::onExtra(const X11SelectionTransfer::Result& result) {
  if (result.outcome == Outcome::Failed) {
    // The owner may still answer it, late, or go on with the chunks of one
    // too large: into a window of its own, not into the next reply.
    xcb_destroy_window(connection_.get(), window_);
    window_ = connection_.createWindow();
    transfer_.setWindow(window_);
  }
  // Items of 16 or 32 bits are atoms, numbers, windows: about this server,
  // meaningless once served again.
  if (result.outcome == Outcome::Received && result.format == 8 && !result.data.isEmpty()) {
    const qsizetype before = formats_->heldBytes();
    keep(transfer_.target(), result);
    extraBytes_ += formats_->heldBytes() - before;
  }
  requestNextExtra();
}

void X11SelectionFetch::keep(xcb_atom_t target, const X11SelectionTransfer::Result& result) {
  const QByteArray type = result.type == target ? QByteArray() : nameOf(result.type);
  formats_->add(nameOf(target), result.data, type);
}

QByteArray X11SelectionFetch::nameOf(xcb_atom_t atom) {
  for (const auto& [known, name] : names_)
    if (known == atom) return name;
  const QByteArray name = atomNames(connection_.get(), {atom}).front();
  names_.emplace_back(atom, name);
  return name;
}

void X11SelectionFetch::decode(QByteArray encoded) {
  // Decoding a large picture takes longer than a frame; the transfer is
  // over, so only the decode itself is left and the change's deadline stops.
  step_ = Step::Decoding;
  changeTimer_.stop();
  const qint64 maxPixels = limits_.maxImagePixels;
  decoding_.setFuture(QtConcurrent::run([encoded = std::move(encoded), maxPixels] {
    return decodeClipboardImage(encoded, maxPixels);
  }));
}

void X11SelectionFetch::settle(X11SelectionContents contents) {
  if (step_ == Step::Settled) return;
  step_ = Step::Settled;
  transfer_.cancel();
  changeTimer_.stop();
  const auto onSettled = std::move(onSettled_);
  onSettled(std::move(contents));
}

}  // namespace tuckshelf
