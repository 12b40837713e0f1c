#pragma once
// The rule that decides whether a start of the program resumes a block: the window and anything
// else that starts up ask it the same way.

#include "Blocker.h"
#include "SettingsStore.h"

// Whether a block is in force at start-up, so that the start resumes it hidden behind the
// password: this user's "BlockOnStart" is set, or the blocker keeps a clean copy of a block that
// was written and never lifted, or the hosts file holds the block lines of `list` (not empty:
// `listIsEmpty` says so). A clean copy that a finished stop left behind is deleted here and
// counts for nothing. Throws Failure when "BlockOnStart" is no number.
bool BlockIsInForce(const SettingsStore& settings, Blocker& blocker, const BlockList& list, bool listIsEmpty);
