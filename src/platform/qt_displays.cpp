#include "platform/qt_displays.h"

#include <cstdlib>

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <xcb/xcb.h>

#include "platform/qt_coordinates.h"

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

// Asking where the pointer is takes a round trip to the X server at every
// hover evaluation, that is at every pointer motion. Asked on Qt's own
// connection (QCursor::pos), each reply also wakes Qt's event-reader
// thread, which more than doubled the cost; a connection of our own is
// read by this thread alone. The same question as Qt's: the pointer on the
// default screen's root window.
struct QtDisplays::PointerQuery {
  PointerQuery() {
    int screenNumber = 0;
    connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) return;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem > 0) root = screens.data->root;
  }
  ~PointerQuery() { xcb_disconnect(connection); }

  // In X pixels.
  std::optional<QPoint> position() const {
    if (root == XCB_WINDOW_NONE || xcb_connection_has_error(connection)) return std::nullopt;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, root), nullptr);
    if (!reply) return std::nullopt;
    const QPoint position(reply->root_x, reply->root_y);
    std::free(reply);
    return position;
  }

  xcb_connection_t* connection = nullptr;
  xcb_window_t root = XCB_WINDOW_NONE;
};

QtDisplays::QtDisplays() {
  // Elsewhere (offscreen, Wayland) Qt's own answer is the only one.
  if (qGuiApp && QGuiApplication::platformName() == QLatin1String("xcb"))
    pointer_ = std::make_unique<PointerQuery>();
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

std::optional<ScreenInfo> QtDisplays::mainScreen() const {
  const QScreen* primary = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
  if (!primary) return std::nullopt;
  return describe(*primary);
}

QtDisplays::~QtDisplays() = default;

Point QtDisplays::mouseLocation() const {
  // Qt's pixels are X's while no screen is scaled (this ratio is the
  // highest of all screens); with scaling, only Qt knows its mapping.
  if (pointer_ && qGuiApp->devicePixelRatio() == 1.0) {
    if (const auto position = pointer_->position()) return pointToGlobalYUp(*position);
  }
  return pointToGlobalYUp(QCursor::pos());
}

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
