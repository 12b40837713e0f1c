#pragma once
// The data folder as a privileged account works in it. The folder lies in the all-users
// application data folder, where any user may make folders: one made there before the setup (or
// after an uninstall removed it) could hold a junction that steers the service's deletes and
// writes to any file of the computer, or reads one out through the hosts file. So the maker's
// folder and the data folder are taken as the service's own before anything is done in them:
// neither may be a reparse point, each is owned by SYSTEM, the Administrators group or the
// account doing the work, and each carries the protected access list. A folder that fails is
// renamed aside, never followed, and made afresh; a file in the data folder that is a reparse
// point or one of several names of a file (a hard link) is removed and counts as absent.

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "FileOwnership.h"
#include "Handles.h"

// Asked before every operation on the files of the data folder.
struct DataFolderGuard {
    // True when the data folder may be worked in now; its files that are links are gone then.
    // False when it is not the service's own: nothing may be done in it.
    virtual bool Ready() = 0;

  protected:
    ~DataFolderGuard() = default;
};

// Told of a folder that was renamed aside: its path and the name it has now.
using FolderSetAside = std::function<void(const std::string& folder, const std::string& aside)>;

// True for an owner a folder of the service may have: SYSTEM, the Administrators group, or the
// account this program runs as (SYSTEM for the service, an administrator's own for the setup and
// an elevated program).
bool IsOwnFolderOwner(PSID sid);

// Whether the folder as it stands may be worked in: a folder, not a reparse point, with an owner
// IsOwnFolderOwner accepts. A loose access list is tightened, not refused: the owner alone may
// change it, and the owner is one of ours.
bool FolderIsOwn(const std::string& folder, Ownership& ownership);

// Makes the maker's folder and the data folder inside it (one level at a time, each with the
// protected access list and owned by the Administrators group), or takes what stands there: a
// folder FolderIsOwn refuses (or a file in its place) is renamed aside with SetAsideUntrusted,
// `setAside` is told, and the folder is made afresh. Throws Failure when a folder can be neither
// taken nor made.
void TakeDataFolders(const std::string& dataFolder, Ownership& ownership, const FolderSetAside& setAside);

// Removes every name in the folder that is a reparse point or a hard link of a file with more than
// one name (the name only, never what it leads to). Silent.
void RemoveLinkedFiles(const std::string& folder);

// The service's data folder: taken once at its start and held, both folders opened without
// delete sharing, so that neither can be renamed, deleted or replaced while the service runs.
class HeldDataFolder final : public DataFolderGuard {
  public:
    // Throws Failure when the folders cannot be taken or held.
    HeldDataFolder(const std::string& dataFolder, Ownership& ownership, const FolderSetAside& setAside);
    const std::string& Path() const { return dataFolder_; }
    // Both held folders are still the service's own (FolderIsOwn); its links are removed.
    bool Ready() override;

  private:
    std::string makerFolder_, dataFolder_;
    Ownership& ownership_;
    UniqueFile makerHeld_, dataHeld_;
};

// The data folder of a program that writes the block itself (elevated, without the service): it
// holds nothing, so every operation takes the folders anew (TakeDataFolders).
class TakenDataFolder final : public DataFolderGuard {
  public:
    explicit TakenDataFolder(std::string dataFolder, Ownership& ownership = SystemOwnership())
        : dataFolder_(std::move(dataFolder)), ownership_(ownership) {}
    bool Ready() override;

  private:
    std::string dataFolder_;
    Ownership& ownership_;
};
