#pragma once

#include <string>

#include <sys/types.h>

#include "command_line.hpp"
#include "commands.hpp"

namespace tabvora::cli {

// `tabvora view FILE`: writes the preview page of FILE (the error page when it cannot be
// read) to preview.html, mode 0600, in a fresh folder tabvora-view-XXXXXX (mode 0700) under
// $TMPDIR or /tmp, and opens it with the xdg-open found on PATH, waiting for xdg-open to end.
// The page is left in place for the browser, which may still be loading it when xdg-open
// returns; when xdg-open is missing or fails, the page and its folder are removed and the
// outcome is status 1. Nothing goes to standard output.
CommandOutcome runView(const Invocation& invocation);

// Starts `xdg-open target` without a shell and without waiting for it: standard input from
// /dev/null, no descriptor past standard error, every signal at its default and none
// blocked. 0 with `pid` set, or posix_spawnp's error.
int startOpener(const std::string& target, pid_t& pid);

}  // namespace tabvora::cli
