#pragma once
// Owners and administrators as the tests name them. Wine records no owner on files (every file
// reports the account running the program) and has a single account, which no other
// administrator can stand beside; a test names here the owner a file shall report and an account
// the Administrators group shall count. A named owner stays with the file when it is moved (it is
// kept by the file's identity, not its name). So do the attributes a test names for a file or
// folder. Everything not named gets the system's answer.
#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "FileOwnership.h"

class TestOwnership final : public Ownership {
  public:
    void NameOwner(const std::string& path, const std::string& sidText) {
        owners_[IdentityOf(path)] = sidText;
    }
    // Names the attributes a file or folder shall read as: a reparse point, which Wine never makes.
    void NameAttributes(const std::string& path, DWORD attributes) {
        attributes_[IdentityOf(path)] = attributes;
    }
    // Forgets the named owner and attributes of the file, before the file goes (its identity may
    // be reused).
    void Forget(const std::string& path) {
        owners_.erase(IdentityOf(path));
        attributes_.erase(IdentityOf(path));
    }
    void CountAsAdministrator(const std::string& sidText) { administrator_ = sidText; }

    std::vector<BYTE> OwnerOf(const std::string& path) override {
        auto named = owners_.find(IdentityOf(path));
        if (named == owners_.end()) return SystemOwnership().OwnerOf(path);
        PSID sid = nullptr;
        if (!ConvertStringSidToSidA(named->second.c_str(), &sid)) return {};
        const BYTE* first = static_cast<const BYTE*>(sid);
        std::vector<BYTE> copy(first, first + GetLengthSid(sid));
        LocalFree(sid);
        return copy;
    }
    bool AccountIsInAdministratorsGroup(PSID sid) override {
        PSID named = nullptr;
        if (!administrator_.empty() && ConvertStringSidToSidA(administrator_.c_str(), &named)) {
            bool same = EqualSid(sid, named) != FALSE;
            LocalFree(named);
            if (same) return true;
        }
        return SystemOwnership().AccountIsInAdministratorsGroup(sid);
    }

    DWORD AttributesOf(const std::string& path) override {
        auto named = attributes_.find(IdentityOf(path));
        return named == attributes_.end() ? Ownership::AttributesOf(path) : named->second;
    }

  private:
    using Identity = std::tuple<DWORD, DWORD, DWORD>;  // volume, index high, index low
    static Identity IdentityOf(const std::string& path) {
        HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        BY_HANDLE_FILE_INFORMATION info{};
        if (file == INVALID_HANDLE_VALUE) return {0, 0, 0};
        GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    }
    std::map<Identity, std::string> owners_;
    std::map<Identity, DWORD> attributes_;
    std::string administrator_;
};
