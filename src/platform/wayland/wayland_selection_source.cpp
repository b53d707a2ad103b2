#include "platform/wayland/wayland_selection_source.h"

#include <unistd.h>

#include "platform/wayland/wayland_data_control.h"
#include "platform/wayland/wayland_pipe_writer.h"

namespace tuckshelf {

WaylandSelectionSource::WaylandSelectionSource(WaylandDataControl& dataControl, std::vector<Offer> offers,
                                               QObject* writers)
    : offers_(std::move(offers)), writers_(writers) {
  static const WaylandDataControl::SourceListener listener = {send, cancelled};
  source_ = dataControl.createSource(&listener, this);
  for (const Offer& offer : offers_) WaylandDataControl::offer(source_, offer.mimeType.constData());
}

WaylandSelectionSource::~WaylandSelectionSource() { WaylandDataControl::destroy(source_); }

void WaylandSelectionSource::send(void* data, wl_proxy*, const char* mimeType, std::int32_t fd) {
  auto* self = static_cast<WaylandSelectionSource*>(data);
  const QByteArray type(mimeType);
  for (const Offer& offer : self->offers_) {
    if (offer.mimeType != type) continue;
    WaylandPipeWriter::start(fd, offer.data, self->writers_);
    if (const auto onRequest = self->onRequest) onRequest(type);  // a copy: it may destroy `self`
    return;
  }
  close(fd);  // not on offer: the reader gets nothing
}

void WaylandSelectionSource::cancelled(void* data, wl_proxy*) {
  auto* self = static_cast<WaylandSelectionSource*>(data);
  if (const auto onCancelled = self->onCancelled) onCancelled();
}

}  // namespace tuckshelf
