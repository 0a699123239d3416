// What passes between the viewer and its upgrader besides the arguments.
// An update that did not happen is told to the viewer started again in its
// place (an environment variable) and, when the disk still takes it, to any
// later start (a file in the ini folder, removed once read).
#pragma once

namespace UpgraderResult {
constexpr const char* FAILURE_VARIABLE = "KXV_UPGRADE_FAILED";
constexpr const char* FAILURE_FILE = "Upgrader.failed";
// The copy of the package beside the viewer until it is complete; the
// upgrader holds an exclusive flock on it while it works, so that a start
// removes only a copy whose upgrader has gone.
constexpr const char* PARTIAL_FILE = "KxViewer.new";
// How long, in milliseconds, the package may stop coming before the
// upgrader gives up; tests shorten it.
constexpr const char* STALL_VARIABLE = "KXV_UPGRADER_STALL_MS";
constexpr int STALL_MS = 30000;
} // namespace UpgraderResult
