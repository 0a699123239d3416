// What passes between the viewer and its upgrader besides the arguments.
// An update that did not happen is told to the viewer started again in its
// place (an environment variable) and, when the disk still takes it, to any
// later start (a file in the ini folder, removed once read).
#pragma once

namespace UpgraderResult {
constexpr const char* FAILURE_VARIABLE = "KXV_UPGRADE_FAILED";
constexpr const char* FAILURE_FILE = "Upgrader.failed";
// How long, in milliseconds, the package may stop coming before the
// upgrader gives up; tests shorten it.
constexpr const char* STALL_VARIABLE = "KXV_UPGRADER_STALL_MS";
constexpr int STALL_MS = 30000;
} // namespace UpgraderResult
