#include "BlockInForce.h"

#include "Failure.h"

bool BlockIsInForce(const SettingsStore& settings, Blocker& blocker, const BlockList& list,
                    bool listIsEmpty) {
    // "BlockOnStart" is one user's record of the last close; the block itself belongs to the
    // machine. A backup in the data folder that the program believes is the clean copy of a block
    // that was written and never lifted, and a hosts file that holds the list's block lines is
    // blocked whatever any setting says (a block written where there was no hosts file to keep, or
    // whose clean copy was deleted). So a user whose own settings say otherwise still starts with
    // the block on and the window behind the password, and its close leaves the block in place.
    // A copy that a stop put back but could not delete is no block: it goes, and nothing resumes.
    if (settings.ReadBlockOnStart() != 0) return true;
    if (blocker.KeepsCleanCopy() && !blocker.DropCleanCopyOfFinishedStop(list)) return true;
    try {
        return !listIsEmpty && blocker.HoldsBlock(list);
    } catch (const Failure&) {
        return false;  // a hosts file that cannot be read tells nothing either way
    }
}
