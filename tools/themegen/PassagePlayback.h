#pragma once
// The typing passage as the program plays it: the theme's decoded samples handed to the sound
// engine's mixer voice after voice, the way a key press reaches it, and rendered offline. The
// mixer's buses stay at unity, so the result is the theme heard before its typing gain and the
// user's volume.

#include <expected>
#include <string>

#include "Dsp.h"
#include "sound/PreparedTheme.h"

namespace tapwell::themegen {

// Key downs of ordinary keys take the key-down pool in turn, space, return and backspace their
// own samples, every release the key-up pool in turn at the theme's key-up level; each sound goes
// to the next of the mixer's typing voices. Fails only when the offline output cannot start.
std::expected<Buffer, std::string> playTypingPassage(const PreparedTheme& theme);

}  // namespace tapwell::themegen
