#pragma once

#include <QtGlobal>
#include <chrono>

namespace tuckshelf {

// How much a clipboard reads of another program's copy, and how long it
// waits for it.
struct ClipboardLimits {
  // Longest wait for the owner to begin answering a request. An owner that
  // serves one reader at a time (xclip, xsel) answers only once it is done
  // with the one before: on GNOME, Mutter reads every new copy as we do.
  std::chrono::milliseconds answerTimeout{5000};
  // Longest pause once the answer has begun.
  std::chrono::milliseconds stepTimeout{1000};
  // Longest time for all requests of one change together.
  std::chrono::milliseconds changeTimeout{15000};
  // Largest transfer of one target; anything larger reads as nothing.
  qsizetype maxTransferBytes = qsizetype(256) << 20;
  // Most bytes of one clip's formats beyond its text and its picture: rich
  // text, file lists, a program's own formats. Formats that would cross it
  // are left out, the others kept. Five such clips stay in memory.
  qsizetype maxExtraBytes = qsizetype(32) << 20;
  // Largest picture, judged from its header before decoding.
  qint64 maxImagePixels = 100'000'000;
};

}  // namespace tuckshelf
