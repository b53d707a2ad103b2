#pragma once

#include <memory>

#include <QFont>
#include <QString>
#include <QTextLayout>
#include <QWidget>

#include "overlay/overlay_window.h"

namespace tuckshelf {

// A row's text, painted white. One line ends in an ellipsis; several lines
// wrap and the last one that fits only partly is clipped. A text may be
// a megabyte long, so only what can be seen is ever laid out, once per
// size change.
class RowViewLabel : public QWidget {
  Q_OBJECT
 public:
  RowViewLabel(QString text, QFont font, int maxLines, TextAlign align, QWidget* parent = nullptr);

  // One line: the text as painted, ellipsis included.
  const QString& elidedLine() const { return elidedLine_; }
  // Several lines: the lines laid out, the clipped last one included.
  int laidOutLineCount() const;
  // How many characters of the text were handed to layout or measurement.
  qsizetype charactersLaidOut() const { return charactersLaidOut_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void layOutOneLine();
  void layOutLines();

  QString text_;
  QFont font_;
  bool oneLine_;
  TextAlign align_;
  QString elidedLine_;
  double elidedLineX_ = 0;
  std::unique_ptr<QTextLayout> lines_;
  qsizetype charactersLaidOut_ = 0;
};

}  // namespace tuckshelf
