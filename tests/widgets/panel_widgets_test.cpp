// The panel's view and its rows: hits, shapes, and how little of a huge text
// a row lays out. Runs offscreen and on Xvfb.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPointer>
#include <set>

#include "printers.h"
#include "widgets/hover_view.h"
#include "widgets/hover_view_shape.h"
#include "widgets/overlay_panel.h"
#include "listview/history_layout.h"
#include "platform/qt/qt_text_measurer.h"
#include "platform/qt/qt_window_shaper.h"
#include "widgets/row_view.h"
#include "widgets/row_view_label.h"

namespace tuckshelf {
namespace {

void send(QObject* to, QEvent&& event) { QCoreApplication::sendEvent(to, &event); }
void hover(QWidget* w, bool in) { in ? send(w, QEnterEvent({1, 1}, {1, 1}, {1, 1})) : send(w, QEvent(QEvent::Leave)); }
void click(QWidget* w, QPointF press, QPointF release, Qt::MouseButton button = Qt::LeftButton) {
  send(w, QMouseEvent(QEvent::MouseButtonPress, press, w->mapToGlobal(press), button, button, {}));
  send(w, QMouseEvent(QEvent::MouseButtonRelease, release, w->mapToGlobal(release), button, {}, {}));
}

RowContent row(QString text, std::function<void()> onSelect = {}, std::function<void()> onDelete = {}) {
  return {.item = ClipItem(text, nullptr), .font = {}, .onSelect = onSelect, .onDelete = onDelete, .accessibleName = text};
}

TEST(RowView, TheButtonTakesPressesWithinFourPixelsOnlyWhileShown) {
  // The button is (172, 5, 18, 18); with pad 2 its grown square passes the row's right edge.
  struct Case { double pad; QPointF at; RowHit hidden, shown; };
  for (const Case& c : {Case{10, {181, 14}, RowHit::row, RowHit::button}, {10, {168, 1}, RowHit::row, RowHit::button},
                        {10, {193.9, 26.9}, RowHit::row, RowHit::button}, {10, {167.9, 14}, RowHit::row, RowHit::row},
                        {10, {181, 0.9}, RowHit::row, RowHit::row}, {10, {-1, 14}, RowHit::none, RowHit::none},
                        {2, {199, 14}, RowHit::row, RowHit::button}, {2, {200, 14}, RowHit::none, RowHit::none}}) {
    RowContent content = row("hello");
    content.pad = c.pad;
    RowView view(content);
    view.setGeometry(0, 0, 200, 30), view.show();
    EXPECT_EQ(view.hitAt(c.at), c.hidden) << c.at.x() << ", " << c.at.y();
    hover(&view, true);
    EXPECT_EQ(view.hitAt(c.at), c.shown) << c.at.x() << ", " << c.at.y();
  }
  int selected = 0, deleted = 0;
  RowView view(row("hello", [&] { ++selected; }, [&] { ++deleted; }));
  view.setGeometry(0, 0, 200, 30), view.show();
  click(&view, {40, 15}, {-300, 900}), click(&view, {40, 15}, {40, 15}, Qt::RightButton);  // released anywhere
  hover(&view, true);
  click(&view, {181, 14}, {181, 14}), click(&view, {181, 14}, {40, 15});  // released off the button: neither
  EXPECT_TRUE(selected == 1 && deleted == 1);
  hover(&view, false), click(&view, {181, 14}, {181, 14});
  EXPECT_TRUE(selected == 2 && deleted == 1 && view.removeButton()->isHidden());
}

// Files show a file icon where a picture's thumbnail goes, and their names
// beside it; a text has the row to itself.
TEST(RowView, FilesShowAnIconBeforeTheirNames) {
  auto files = std::make_shared<ClipFormats>();
  files->add("text/uri-list", "file:///tmp/report.pdf\r\nfile:///tmp/b.txt\r\n");
  for (const bool isFiles : {true, false}) {
    RowContent content = row("/tmp/report.pdf");
    if (isFiles) content.item = ClipItem(content.item.text, nullptr, files);
    RowView view(content);
    view.setGeometry(0, 0, 200, 30), view.show();
    const QImage shot = view.grab().toImage();
    std::set<QRgb> colours;  // the icon's slot, left of the files' names
    for (int x = 10; x < 32; ++x)
      for (int y = 4; y < 26; ++y) colours.insert(shot.pixel(x, y));
    EXPECT_EQ(view.label()->geometry().x(), isFiles ? 40 : 10);
    EXPECT_TRUE(!isFiles || colours.size() > 2) << colours.size();
  }
}

TEST(RowViewLabel, LaysOutOnlyWhatShows) {
  RowView huge(row(QString(1 << 20, u'm')));
  huge.setGeometry(0, 0, 200, 30), huge.show();
  EXPECT_TRUE(huge.label()->elidedLine().endsWith(QChar(0x2026)) && huge.label()->charactersLaidOut() < 1000);
  RowContent content = row(QStringLiteral("many words ").repeated(100000));
  content.maxLines = 0, content.height = 100;
  RowView lead(content);
  lead.setGeometry(0, 0, 260, 100), lead.show();
  const int lines = lead.label()->laidOutLineCount();
  EXPECT_LT(lead.label()->charactersLaidOut(), 5000);
  lead.setGeometry(0, 0, 260, 40);  // laid out again, to the new height
  EXPECT_LT(lead.label()->laidOutLineCount(), lines);
}

// The newest row is as tall as its text's lines at its label's width, beside
// the remove button's column: no line it wraps to is cut.
TEST(RowViewLabel, TheNewestRowHoldsEveryLineItsLabelWraps) {
  const QFont font = fontFor({});
  QtTextMeasurer measurer(font);
  const QString words = QStringLiteral("Copy and paste, a few words at a time; ");
  for (int n = 1; n <= 24; ++n) {
    const QString text = words.repeated(n).left(words.size() * n - 2);
    const ListSizing sizing = sizeHistoryList(text, 2, {}, measurer);
    RowContent content = row(text);
    content.maxLines = 0, content.align = TextAlign::center, content.height = sizing.rowHeights[0];
    RowView lead(content), tall(content);
    lead.setGeometry(0, 0, int(sizing.width - 2 * kListInset), int(sizing.rowHeights[0])), lead.show();
    tall.setGeometry(0, 0, int(sizing.width - 2 * kListInset), 2000), tall.show();
    const int lines = tall.label()->laidOutLineCount();
    EXPECT_EQ(lead.label()->laidOutLineCount(), lines) << n;
    EXPECT_LE(lines * QFontMetricsF(font).lineSpacing(), lead.label()->height() + 1) << n;
  }
}

struct HoverViewTest : testing::Test {
  HoverView view{OverlaySetup{.frame = {0, 0, 300, 200}, .offsets = {10, 14, 40}, .font = {}}};
  void SetUp() override { view.resize(300, 200), view.show(); }
};

TEST_F(HoverViewTest, RowsStackThreeApartAndOneMayReplaceThemFromItsOwnCallback) {
  view.setRows({row("a", [&] { view.setRows({row("b"), row("c"), row("d")}); })});
  const QPointer<RowView> first = view.rows()[0];
  click(first, {20, 10}, {20, 10});
  ASSERT_TRUE(view.rows().size() == 3 && view.rows()[2]->geometry() == QRect(0, 66, 284, 30));
  ASSERT_FALSE(first.isNull());  // deleted later, not under its own callback
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
}

TEST_F(HoverViewTest, ShapeIsTheDotAtRestAndTheRoundedBackdropWhenOpen) {
  EXPECT_TRUE(view.visibleShape().isEmpty());  // dot hidden, at rest
  view.setDotHidden(false);
  EXPECT_EQ(view.visibleShape(), discRegion(QRect(276, 14, 8, 8)));
  view.setBackdropBlack(true);
  for (auto [p, in] : {std::pair{QPoint(0, 0), true}, {QPoint(299, 0), true}, {QPoint(0, 185), true},
                       {QPoint(0, 199), false}, {QPoint(299, 199), false}, {QPoint(150, 199), true}})
    EXPECT_EQ(view.visibleShape().contains(p), in) << p.x() << ", " << p.y();
  const QImage shot = view.grab().toImage();  // painted to the same pixels
  EXPECT_TRUE(shot.pixelColor(0, 0) == Qt::black && shot.pixelColor(0, 199) != Qt::black);
}

// Qt 6.8's Wayland backing store hands back the last frame's pixels where
// a see-through window repaints: the open list, drawn there before, must
// not stay once the panel rests.
TEST(OverlayPanel, ASeeThroughPanelClearsWhatItRepaints) {
  struct SeeThrough : QtWindowShaper {  // as on Wayland: its painting is its shape
    void prepare(QWidget& window) override {
      window.setAttribute(Qt::WA_TranslucentBackground);
      QtWindowShaper::prepare(window);
    }
    void setBoundingShape(QWidget&, const QRegion&) override {}
  } shaper;
  OverlayPanel panel(OverlaySetup{.frame = {0, 700, 300, 200}, .offsets = {10, 14, 40}, .font = {}}, shaper);
  panel.setBackdropBlack(true);
  panel.raise();
  panel.setBackdropBlack(false);
  QImage stale(panel.window()->size(), QImage::Format_ARGB32_Premultiplied);
  stale.fill(Qt::black);  // the open list's pixels, as the backing store hands them back
  panel.window()->render(&stale, {}, {}, QWidget::DrawChildren);
  EXPECT_EQ(stale.pixelColor(150, 100).alpha(), 0);
}

// Mutter under Xwayland hands a window every click in its rectangle: at
// rest the panel covers its dot alone (a pixel when no dot shows), so that
// the top bar beneath keeps its clicks, and all of the list once it opens.
TEST(OverlayPanel, WhereTheWholeWindowTakesClicksTheRestingPanelCoversOnlyItsDot) {
  struct WholeWindow : QtWindowShaper {
    bool picksWholeWindow() const override { return true; }
  } shaper;
  OverlayPanel panel(OverlaySetup{.frame = {0, 700, 300, 200}, .offsets = {10, 14, 40}, .font = {}}, shaper);
  panel.raise();
  const QRect whole = panel.window()->geometry();
  panel.setClickThrough(true);
  EXPECT_EQ(panel.window()->size(), QSize(1, 1));
  panel.setDotHidden(false);
  const QRect dot(whole.topLeft() + QPoint(276, 14), QSize(8, 8));
  EXPECT_EQ(panel.window()->geometry(), dot);
  EXPECT_EQ(panel.hoverView()->mapTo(panel.window(), QPoint(276, 14)), QPoint(0, 0));  // drawn where it was
  panel.setClickThrough(false);
  EXPECT_EQ(panel.window()->geometry(), whole);
  EXPECT_EQ(panel.frame(), (Rect{0, 700, 300, 200}));
}

// Held from the keyboard, the panel turns the list's keys into the logic's
// and swallows the rest; otherwise keys are not its business. The row the
// keys act on looks hovered, and every part says what it is.
TEST(OverlayPanel, KeysHighlightAndWhatAScreenReaderFinds) {
  QtWindowShaper shaper;
  OverlayPanel panel(OverlaySetup{.frame = {0, 700, 300, 200}, .offsets = {10, 14, 40}, .font = {}}, shaper);
  std::vector<ListKey> heard;
  panel.setKeyHandler([&](ListKey key) { heard.push_back(key); });
  panel.setRows({row("a"), row("b")}), panel.setStackHidden(false), panel.setDescription("copied, not pasted");
  panel.raise();
  const auto type = [&](Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    return QCoreApplication::sendEvent(panel.window()->windowHandle(), &press) && press.isAccepted();
  };
  EXPECT_FALSE(type(Qt::Key_Escape));  // not held: not the panel's
  panel.setTakesKeyboard(true);
  for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Delete,
                      Qt::Key_Escape, Qt::Key_A})
    EXPECT_TRUE(type(key));
  EXPECT_EQ(heard, (std::vector<ListKey>{ListKey::up, ListKey::down, ListKey::choose, ListKey::choose,
                                         ListKey::choose, ListKey::remove, ListKey::close}));
  panel.setHighlightedRow(1);
  RowView* second = panel.hoverView()->rows()[1];
  EXPECT_TRUE(second->isHighlighted() && second->removeButton()->isVisible());
  EXPECT_FALSE(panel.hoverView()->rows()[0]->isHighlighted());

  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(panel.hoverView()->stack());
  QAccessibleInterface* item = QAccessible::queryAccessibleInterface(second);
  QAccessibleInterface* remove = QAccessible::queryAccessibleInterface(second->removeButton());
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(panel.window());
  ASSERT_TRUE(list && item && remove && window);
  EXPECT_TRUE(list->role() == QAccessible::List && item->role() == QAccessible::ListItem &&
              remove->role() == QAccessible::Button);
  EXPECT_TRUE(item->text(QAccessible::Name) == "b" && item->state().focused);
  EXPECT_EQ(remove->text(QAccessible::Name), "Remove");
  EXPECT_EQ(window->text(QAccessible::Description), "copied, not pasted");
  panel.setHighlightedRow(std::nullopt), panel.setTakesKeyboard(false);
  EXPECT_TRUE(!second->isHighlighted() && !item->state().focused && !type(Qt::Key_Down));
}

}  // namespace
}  // namespace tuckshelf
