#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QString>

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
  // Empties the clipboard and starts a new generation.
  virtual void clear() = 0;
  virtual void setText(const QString& text) = 0;
  virtual void setImage(const std::shared_ptr<const ClipImage>& image) = 0;
};

}  // namespace tuckshelf
