// Capture time of a rich clip: another X client of this process offers a
// clip as plain text, HTML, RTF, a URI list and a program's own format
// (about 3 MiB in all, as a word processor's long document), and the real
// X11Clipboard of $DISPLAY reads every format; the history keeps five such
// clips, each different. Prints the median capture time. (The memory they
// take is a figure of the whole program: bench_figures.rich_memory.)

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>

#include "event_loop_wait.h"
#include "history/history_list.h"
#include "platform/x11/x11_clipboard.h"
#include "x11_test_clients.h"

using namespace tuckshelf;

namespace {

std::vector<x11test::TestOwner::Target> richClip(int n) {
  QByteArray text, html, rtf;
  for (int line = 0; text.size() < 400'000; ++line) {
    const QByteArray words = "Clip " + QByteArray::number(n) + ", paragraph " + QByteArray::number(line) +
                             ": the quick brown fox jumps over the lazy dog.";
    text += words + "\n";
    html += "<p style=\"font-family: serif\"><b>" + words + "</b> <i>again</i></p>\n";
    rtf += "{\\pard\\b " + words + "\\b0\\par}\n";
  }
  return {{"UTF8_STRING", text}, {"text/plain;charset=utf-8", text}, {"text/html", html}, {"text/rtf", rtf},
          {"text/uri-list", "file:///home/user/Documents/report-" + QByteArray::number(n) + ".odt\r\n"},
          {"application/x-word-processor", html + rtf}};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  X11Clipboard clipboard;
  clipboard.waitForInitialContents(5000);
  std::vector<std::vector<x11test::TestOwner::Target>> clips;
  for (int n = 0; n < 5; ++n) clips.push_back(richClip(n));
  std::vector<std::unique_ptr<x11test::TestOwner>> owners;  // each serves until the end
  History history;
  std::vector<double> ms;
  for (const auto& clip : clips) {
    owners.push_back(std::make_unique<x11test::TestOwner>(clip));
    const std::int64_t seen = clipboard.generation();
    QElapsedTimer timer;
    timer.start();
    owners.back()->takeClipboard();
    if (!pumpUntil([&] { return clipboard.generation() != seen; })) return std::puts("the clip was never read"), 1;
    ms.push_back(timer.nsecsElapsed() / 1e6);
    recordInto(history, ClipItem(clipboard.text(), nullptr, clipboard.formats()), 5);
  }
  qsizetype formatBytes = 0;
  for (const ClipItem& item : history) formatBytes += item.formats ? item.formats->heldBytes() : 0;
  std::sort(ms.begin(), ms.end());
  std::printf("rich clip capture (5 formats, %.1f MiB): %.1f ms median, %.1f ms slowest\n",
              formatBytes / 5.0 / (1 << 20), ms[ms.size() / 2], ms.back());
  return 0;
}
