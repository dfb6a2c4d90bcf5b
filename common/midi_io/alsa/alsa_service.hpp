// SPDX-License-Identifier: MIT
#pragma once

// The MIDI service on the ALSA sequencer: hardware ports of USB-MIDI and other
// cards, a receive thread, and announcements of replugs as setup changes.

#include <memory>

#include "common/midi_io/service.hpp"

namespace zal::midi::io {

// The process's ALSA sequencer service; opening happens in `create_client`.
service_t& alsa_service();

}  // namespace zal::midi::io
