#pragma once
// What the service tells the administrator through the Windows Application event log, under the
// source "Parvalisk".

#include <windows.h>

#include <string>

inline constexpr char kEventSource[] = "Parvalisk";

// The entries the service writes, by event identifier.
enum class ServiceEvent : DWORD {
    PipeTaken = 1,          // another program made the service's pipe first: the service did not start
    BlockPutBack = 2,       // the hosts file had lost the block, and it has been put back
    PutBackRefused = 3,     // the hosts file had lost the block, and it could not be put back
    EntriesUnreadable = 4,  // the kept entries of a block could not be read: nothing to put back
    EntriesNotKept = 5,     // the entries of a new block could not be kept for a restart
    WaitFailed = 6,         // the pipe server's wait failed: it goes on trying after a pause
};

struct EventLog {
    virtual void Write(WORD type, ServiceEvent event, const std::string& text) = 0;

  protected:
    ~EventLog() = default;
};

// Writes to the Application log. A log that cannot be written is passed over: the entry is a
// report, and the service's work does not wait on it.
class SystemEventLog final : public EventLog {
  public:
    void Write(WORD type, ServiceEvent event, const std::string& text) override;
};
