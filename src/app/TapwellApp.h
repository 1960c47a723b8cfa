#pragma once

#include "cli/Cli.h"

namespace tapwell {

// Runs the application until it is asked to quit; returns the process's exit status.
int runApplication(const cli::AppOptions& options, int argc, char** argv);

}  // namespace tapwell
