#pragma once
// TextServices on ICU: what the text module holds and what tests and tools link directly. It
// needs nothing of the program beyond this folder's header.

#include "text/TextServices.h"

namespace tapwell {

// The one instance; its per-language data is built on first use and kept for the process.
const TextServices& icuTextServices();

}  // namespace tapwell
