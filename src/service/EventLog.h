#pragma once
// What the service tells the administrator through the Windows Application event log, under the
// source "Parvalisk". The setup registers the source with the service's program as its message
// file, whose table gives every identifier from 1 to 49 the message "%1": Event Viewer shows the
// text the service wrote, whole.

#include <windows.h>

#include <string>

inline constexpr char kEventSource[] = "Parvalisk";

// The entries the service writes, by event identifier. They are written with no severity bits,
// as the message table's identifiers are made.
enum class ServiceEvent : DWORD {
    PipeTaken = 1,              // another program made the service's pipe first: the service did not start
    BlockPutBack = 2,           // the hosts file had lost the block, and it has been put back
    PutBackRefused = 3,         // the hosts file had lost the block, and it could not be put back
    EntriesUnreadable = 4,      // the kept entries of a block could not be read: nothing to put back
    EntriesNotKept = 5,         // the entries of a new block could not be kept for a restart
    WaitFailed = 6,             // the pipe server's wait failed: it goes on trying after a pause
    FolderSetAside = 10,        // a folder at the data folder's path was not the service's: set aside
    ScheduledStart = 11,        // the weekly schedule, or the end of a lift, put the block in force
    ScheduledLift = 12,         // the weekly schedule lifted the block
    ScheduleUnreadable = 13,    // the kept schedule could not be read: the block stays as it is
    ScheduledStartFailed = 14,  // the schedule's block could not be written or lifted
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
