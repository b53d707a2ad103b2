#pragma once

#include <QtGlobal>
#include <chrono>

namespace tuckshelf {

// How much a clipboard reads of another program's copy, and how long it
// waits for it.
struct ClipboardLimits {
  // Longest wait for any one answer of the owner.
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
