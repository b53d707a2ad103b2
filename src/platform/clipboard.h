#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "history/clip_formats.h"
#include "history/clip_image.h"

namespace tuckshelf {

// The system clipboard (on X11 the CLIPBOARD selection). Reads are served
// from contents already fetched, so no call here ever waits on another
// program.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // A generation number that changes whenever the contents change, this
  // program's own writes included. Compared for equality only.
  virtual std::int64_t generation() = 0;
  // The plain text of the current generation, or none.
  virtual std::optional<QString> text() = 0;
  // The image of the current generation, or null when it holds none.
  virtual std::shared_ptr<const ClipImage> image() = 0;
  // Every format of the current generation as read, plain text and the
  // picture's among them; null for this program's own writes of a text or
  // an image alone, and when nothing was read.
  virtual std::shared_ptr<const ClipFormats> formats() = 0;
  // Empties the clipboard and starts a new generation.
  virtual void clear() = 0;
  virtual void setText(const QString& text) = 0;
  virtual void setImage(const std::shared_ptr<const ClipImage>& image) = 0;
  // Offers every one of `formats` byte for byte, with the usual names for
  // the text and the picture where they are missing among them; text(),
  // image() and formats() then give these three.
  virtual void setClip(const std::optional<QString>& text, const std::shared_ptr<const ClipImage>& image,
                       const std::shared_ptr<const ClipFormats>& formats) = 0;

  // Called soon after the contents change, from the event loop: once for
  // all the generations that came meanwhile, this program's own writes
  // among them. The display server reports every change, so nothing here
  // needs asking.
  virtual void setChangeHandler(std::function<void()> handler) = 0;
  // Called when another program is given the contents this program put on
  // the clipboard: a paste. Probes of the types on offer do not count.
  virtual void setPasteHandler(std::function<void()> handler) = 0;
  // Called when the program that owned the clipboard is going (it quit, or
  // asked the clipboard manager to keep its contents), while text() and
  // image() still give what it held: the handler may write it back before
  // the clipboard reads as empty. Not called when the owner emptied the
  // clipboard on purpose, nor while its contents were still being read.
  virtual void setOwnerGoneHandler(std::function<void()> handler) = 0;
};

}  // namespace tuckshelf
