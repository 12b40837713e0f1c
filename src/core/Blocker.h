#pragma once
// The blocking operations the main window asks for, behind one small interface. DirectBlocker
// does them in this process on the hosts file and the data folder; another implementation may
// hand them to a part that holds the rights to write the hosts file, and nothing in the window
// changes for it. Each operation answers the outcome the window turns into what the user sees.

#include <functional>
#include <string>
#include <string_view>

#include "FileOwnership.h"
#include "HostsBlocker.h"
#include "NumberedSteps.h"

// The entries of a block in list order, as the caller holds them, walked as often as needed:
// their block lines are made from them here, and a blocker that hands the work on sends the
// entries themselves.
class BlockList {
  public:
    virtual void AddLines(BlockLineWriter& lines) const = 0;
    virtual void ForEach(const std::function<void(std::string_view)>& visit) const = 0;
    // The entries' block lines, as the hosts functions take them.
    BlockEntries Lines() const {
        return [this](BlockLineWriter& lines) { AddLines(lines); };
    }

  protected:
    ~BlockList() = default;
};

// Any range of texts (a WebsiteList, std::vector<std::string>, an EntryList) as a BlockList.
template <typename Entries>
class ListedEntries final : public BlockList {
  public:
    explicit ListedEntries(const Entries& entries) : entries_(entries) {}
    void AddLines(BlockLineWriter& lines) const override { lines.AddAll(entries_); }
    void ForEach(const std::function<void(std::string_view)>& visit) const override {
        for (std::string_view entry : entries_) visit(entry);
    }

  private:
    const Entries& entries_;
};

// Changing the password of a block in force where another part guards it (the blocking service).
enum class PasswordChangeOutcome {
    Changed,           // the block is lifted with the new password from now on (or none is kept)
    WrongPassword,     // the password it had was not given: the block keeps it
    NotAdministrator,  // nothing was changed: the user has no administrator rights
    Refused,           // nothing was changed: the part that guards the block did not answer
};

class Blocker {
  public:
    // Writes the block (see StartBlock); a failed step is reported through `report`.
    // `passwordHash`: the password's stored form (PasswordHash.h; "" for none), with which a part
    // that guards the block elsewhere binds it: it lifts the block only for that password. A
    // block written here needs none.
    virtual StartOutcome Start(const BlockList& entries, bool userIsAdmin, bool atStartup,
                               FailureReport& report, const std::string& passwordHash = {}) = 0;
    // Lifts it (see StopBlock); `letEventsRun` lets pending window events run before the clean
    // copy is deleted. `password`: what the parent typed to unlock, for a block bound to it.
    virtual StopOutcome Stop(const BlockList& entries, bool userIsAdmin, FailureReport& report,
                             const std::function<void()>& letEventsRun, const std::string& password = {}) = 0;
    // The password of the block in force is now the one stored as `newPasswordHash`: a part that
    // guards the block elsewhere is told, with the password it had. Nothing to tell here.
    virtual PasswordChangeOutcome ChangePassword(const std::string& oldPassword,
                                                 const std::string& newPasswordHash) {
        (void)oldPassword;
        (void)newPasswordHash;
        return PasswordChangeOutcome::Changed;
    }
    // Whether the hosts file still holds these block lines (see HostsHoldBlock). Throws Failure
    // when the file exists but cannot be read.
    virtual bool HoldsBlock(const BlockList& entries) = 0;
    // Puts back the block lines another program removed (see PutBackBlock).
    virtual PutBackOutcome PutBack(const BlockList& entries) = 0;
    // True while a clean copy that the program believes is kept: a block was written on this
    // computer and never lifted, whatever one user's settings say.
    virtual bool KeepsCleanCopy() = 0;
    // Deletes the clean copy a finished stop left behind (see DropCleanCopyOfFinishedStop): true
    // when the copy was such a leftover, so there is no block to resume.
    virtual bool DropCleanCopyOfFinishedStop(const BlockList& entries) = 0;
    // Whether another part that guards the block (the blocking service) has put it back since this
    // was last asked: the lines are then there again when the program looks, and the parent is
    // still told. Nothing else guards a block written here.
    virtual bool PutBackElsewhereSinceAsked() { return false; }
    // Whether the last operation was the blocking service's (its answer, its refusal or its
    // silence) rather than done here: what the parent is then told names the service.
    virtual bool LastDoneByService() const { return false; }

  protected:
    ~Blocker() = default;
};

// The blocking operations done here, on the system hosts file and the data folder's clean copy.
class DirectBlocker final : public Blocker {
  public:
    explicit DirectBlocker(BlockingPlace place) : place_(std::move(place)) {}

    // A written start also keeps its entries, bound to the block's password, and a lift removes
    // them (see keepsEntries). No password is asked for a lift here: the hosts file's own rights
    // guard it.
    StartOutcome Start(const BlockList& entries, bool userIsAdmin, bool atStartup, FailureReport& report,
                       const std::string& passwordHash = {}) override;
    StopOutcome Stop(const BlockList& entries, bool userIsAdmin, FailureReport& report,
                     const std::function<void()>& letEventsRun, const std::string& password = {}) override;
    bool HoldsBlock(const BlockList& entries) override {
        return HostsHoldBlock(place_.hostsPath, entries.Lines());
    }
    PutBackOutcome PutBack(const BlockList& entries) override;
    bool KeepsCleanCopy() override;
    bool DropCleanCopyOfFinishedStop(const BlockList& entries) override {
        return ::DropCleanCopyOfFinishedStop(place_, entries.Lines());
    }

  private:
    // Whether the data folder may be worked in now (BlockingPlace::folder).
    bool FolderReady();

    BlockingPlace place_;
};
