// SPDX-License-Identifier: MIT
#pragma once

// The MIDI service on the ALSA sequencer: hardware ports of USB-MIDI and other
// cards, a receive thread, and announcements of replugs as setup changes. The
// list of ports is walked once and then kept from the announcements.

#include <memory>
#include <string>
#include <vector>

#include "common/midi_io/service.hpp"

namespace zal::midi::io {

// The process's ALSA sequencer service; opening happens in `create_client`.
service_t& alsa_service();

// For a support report: the ALSA library's version, and the names of the
// sequencer's clients now (empty when the sequencer cannot be opened).
std::string alsa_library_version();
std::vector<std::string> sequencer_client_names();

}  // namespace zal::midi::io
