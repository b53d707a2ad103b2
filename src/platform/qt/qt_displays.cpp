#include "platform/qt/qt_displays.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/qt_coordinates.h"

namespace tuckshelf {
namespace {

// Where the desktop reserves nothing at the top.
constexpr double kDefaultMenuBarThickness = 24;

ScreenInfo describe(const QScreen& screen) {
  const int reservedAtTop = screen.availableGeometry().top() - screen.geometry().top();
  ScreenInfo info;
  info.frame = toGlobalYUp(screen.geometry());
  info.topInset = 0;
  info.menuBarThickness = reservedAtTop > 0 ? reservedAtTop : kDefaultMenuBarThickness;
  return info;
}

}  // namespace

QtDisplays::QtDisplays() {
  changeCoalescer_.setSingleShot(true);
  changeCoalescer_.setInterval(0);
  QObject::connect(&changeCoalescer_, &QTimer::timeout, [this] {
    // A handler may add another handler: iterate over a copy.
    const auto handlers = handlers_;
    for (const auto& handler : handlers) handler();
  });
}

std::vector<ScreenInfo> QtDisplays::screens() const {
  std::vector<ScreenInfo> infos;
  if (!qGuiApp) return infos;
  QList<QScreen*> screens = QGuiApplication::screens();
  // Qt lists the primary first already; this only makes it certain.
  if (QScreen* primary = QGuiApplication::primaryScreen(); primary && screens.indexOf(primary) > 0) {
    screens.move(screens.indexOf(primary), 0);
  }
  for (const QScreen* screen : screens) infos.push_back(describe(*screen));
  return infos;
}

std::optional<ScreenInfo> QtDisplays::primaryScreen() const {
  const QScreen* primary = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
  if (!primary) return std::nullopt;
  return describe(*primary);
}

QtDisplays::~QtDisplays() = default;

// One round trip on X11: asked only when the state changes.
Point QtDisplays::pointerPosition() const { return pointToGlobalYUp(QCursor::pos()); }

void QtDisplays::observeScreenChanges(std::function<void()> handler) {
  handlers_.push_back(std::move(handler));
  if (watching_ || !qGuiApp) return;
  watching_ = true;
  auto changed = [this] { changeCoalescer_.start(); };
  QObject::connect(qGuiApp, &QGuiApplication::screenAdded, &changeCoalescer_, [this, changed](QScreen* screen) {
    watchScreen(screen);
    changed();
  });
  QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, &changeCoalescer_, changed);
  QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &changeCoalescer_, changed);
  for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
}

void QtDisplays::watchScreen(QScreen* screen) {
  auto changed = [this] { changeCoalescer_.start(); };
  QObject::connect(screen, &QScreen::geometryChanged, &changeCoalescer_, changed);
  // The reserved band at the top, and so menuBarThickness, lives here.
  QObject::connect(screen, &QScreen::availableGeometryChanged, &changeCoalescer_, changed);
}

}  // namespace tuckshelf
