#pragma once
// Points the machine's hosts folder (the DataBasePath the built program reads) at a folder of a
// temporary tree for as long as the object lives, then puts the value back as it was. The
// end-to-end tests and the start-up benchmarks start the real program, which takes its hosts file
// from the system; with this it changes the tree's file, never the Wine prefix's own.
#include <windows.h>

#include <string>
#include <vector>

class SystemHostsFolder {
  public:
    explicit SystemHostsFolder(const std::string& folder) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExA(key_, kValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            saved_.resize(size);
            had_ = RegQueryValueExA(key_, kValue, nullptr, &type_, saved_.data(), &size) == ERROR_SUCCESS;
        }
        RegSetValueExA(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
    }
    ~SystemHostsFolder() {
        if (key_ == nullptr) return;
        if (had_)
            RegSetValueExA(key_, kValue, 0, type_, saved_.data(), static_cast<DWORD>(saved_.size()));
        else
            RegDeleteValueA(key_, kValue);
        RegCloseKey(key_);
    }
    SystemHostsFolder(const SystemHostsFolder&) = delete;
    SystemHostsFolder& operator=(const SystemHostsFolder&) = delete;

    // True when the machine's value could be changed (the tests run with administrator rights).
    bool InForce() const { return key_ != nullptr; }

  private:
    static constexpr char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
    static constexpr char kValue[] = "DataBasePath";
    HKEY key_ = nullptr;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> saved_;
    bool had_ = false;
};
