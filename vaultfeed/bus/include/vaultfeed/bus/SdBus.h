#pragma once
// Owners of sd-bus's and sd-event's reference-counted objects, for the client and the service.

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <memory>

namespace Vaultfeed::Bus {

template <auto Unref> struct SdUnref
{
    template <class T> void operator()(T* p) const { Unref(p); }
};

// A client's bus is closed without waiting for its queue to drain: every call has had its reply,
// and a peer that stopped reading must not hold the closing.
using BusPtr = std::unique_ptr<sd_bus, SdUnref<sd_bus_close_unref>>;
using MessagePtr = std::unique_ptr<sd_bus_message, SdUnref<sd_bus_message_unref>>;
using SlotPtr = std::unique_ptr<sd_bus_slot, SdUnref<sd_bus_slot_unref>>;
using TrackPtr = std::unique_ptr<sd_bus_track, SdUnref<sd_bus_track_unref>>;
using EventPtr = std::unique_ptr<sd_event, SdUnref<sd_event_unref>>;

} // namespace Vaultfeed::Bus
