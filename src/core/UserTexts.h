#pragma once
// Every text a user reads: the windows' captions, the messages and notices, the tray's balloons,
// the error report's pieces and the service's entries in the event log. They live here, in one
// place, so that a wording is changed once and a test checks the program's text by its name.
// The texts of the program's first version keep their wording, odd as some of it reads: parents'
// notes and screenshots refer to them.

#include <string>

// ---- the main window's controls ----------------------------------------------------------------
inline constexpr char kStatusCaption[] = "Status";
inline constexpr char kAddWebsiteCaption[] = "Add Website";
inline constexpr char kLoadFromFileCaption[] = "Load Websites From File";
inline constexpr char kClearListCaption[] = "Clear List";
inline constexpr char kHelpCaption[] = "Help";
inline constexpr char kScheduleCaption[] = "Schedule";
inline constexpr char kOptionsFrameCaption[] = "Startup Option";
inline constexpr char kStartWithWindowsCaption[] = "Load this software on Windows startup";
inline constexpr char kStartInTrayCaption[] = "Start in system tray";
inline constexpr char kPasswordFrameCaption[] = "Password";
inline constexpr char kLoadSamplesCaption[] = "Load Sample/Example Sites";
inline constexpr char kStartBlockingCaption[] = "Start Blocking";
inline constexpr char kStopBlockingCaption[] = "Stop Blocking";
inline constexpr char kOkCaption[] = "OK";
inline constexpr char kCancelCaption[] = "Cancel";
inline constexpr char kListColumnHeading[] = "Blocked Website(s)";
inline constexpr char kListToolTip[] =
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.";

// ---- the list's commands -------------------------------------------------------------------
inline constexpr char kAddWebsitePrompt[] = "Enter website to block: ";
inline constexpr char kOpenListTitle[] = "Load List(s) - Hold Ctrl to select multiple list files";
inline constexpr char kOpenListFilter[] = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";
inline constexpr char kTooManyFilesSelected[] =
    "Too many files were selected at once (dialog error 0x%04lX).";
inline constexpr char kOpenDialogNotShown[] = "The open dialog could not be shown (dialog error 0x%04lX).";

// ---- starting and stopping the block ---------------------------------------------------------
inline constexpr char kHelpMessage[] =
    "You must be logged in as Administrator in Windows in order to block sites. You must also have your "
    "User Account Control settings set low.";
inline constexpr char kAdministratorMessage[] =
    "You must be logged in as Administrator in Windows in order to block sites.";
inline constexpr char kNotAdministratorToStop[] =
    "You must be logged in as Administrator in Windows in order to stop block sites.";
inline constexpr char kEmptyListMessage[] = "Please add site to block.";
inline constexpr char kUacAdvice[] =
    "Please check your UAC settings to make sure they are on 'Never Notify'. Please make sure you run this "
    "software as administrator by right clicking the desktop icon for this software and choosing 'Run as "
    "administrator'";
inline constexpr char kCouldNotStartBlockingLine[] = "Could not start blocking.\r\n";
inline constexpr char kCouldNotRestoreSettingsLine[] = "Could not restore settings.\r\n";
inline const std::string kCouldNotStartBlocking = std::string(kCouldNotStartBlockingLine) + kUacAdvice;
inline const std::string kCouldNotRestoreSettings = std::string(kCouldNotRestoreSettingsLine) + kUacAdvice;
// The service is there but did not answer in time (busy with other programs' requests, say): no
// advice about rights, which would not help.
inline constexpr char kServiceNotAnswering[] =
    "The Parvalisk service is not answering. Blocking is unchanged; try again in a moment.";
// The blocking service keeps a block bound to the password it was started with.
inline constexpr char kStopNeedsBlockPassword[] =
    "The Parvalisk service did not stop blocking: the block was started with another password. Start "
    "Parvalisk as administrator to stop it.";
inline constexpr char kBlockKeepsItsPassword[] =
    "The Parvalisk service keeps the block under the password it was started with. Start Parvalisk as "
    "administrator to stop it.";

// ---- the block put back, and the tray ---------------------------------------------------------
inline constexpr char kRemovedBlockPutBack[] = "Another program removed the block. It has been put back.";
inline constexpr char kRemovedBlockNotPutBack[] =
    "Another program removed the block, and it could not be put back. Start Parvalisk as administrator.";
// With the service there, the program's rights change nothing: the service's log tells why.
inline constexpr char kServiceCouldNotPutBack[] =
    "The Parvalisk service could not put the block back; see the Application event log.";
inline constexpr char kResumedBlockNotWritten[] =
    "The block could not be put back. Start Parvalisk as administrator.";
inline constexpr char kMinimizeBalloonTitle[] = "Parvalisk";
inline constexpr char kMinimizeBalloonText[] =
    "has been minimized to the system tray.\r\n"
    "Click on the blue 'K' icon (K for Kelmarin) to bring the software back.";

// ---- the password ----------------------------------------------------------------------------
inline constexpr char kPasswordWindowCaption[] = "Enter Password";
inline constexpr char kInvalidPasswordMessage[] = "Invalid password entered.";
inline constexpr char kPasswordNotStoredLine[] = "The password could not be stored.\r\n";

// ---- the error report and the failures it shows -------------------------------------------------
inline constexpr char kErrorReportTitle[] = "Application Error";
// The address that ends every error report.
inline constexpr char kSupportEmailAddress[] = "support@kelmarin.com";
inline constexpr char kErrorReportRequest[] = "Please email screenshot of this message to ";
inline constexpr char kTypeMismatch[] = "Type mismatch";
inline constexpr char kFileNotFound[] = "File not found";
inline constexpr char kInvalidPicture[] = "Invalid picture";
inline constexpr char kInvalidProcedureCall[] = "Invalid procedure call";
inline constexpr char kOverflow[] = "Overflow";
inline constexpr char kUnexpectedFailure[] = "Unexpected failure";

// ---- the service ----------------------------------------------------------------------------
inline constexpr char kServiceDisplayName[] = "Parvalisk Blocking Service";
inline constexpr char kServiceDescription[] =
    "Keeps Parvalisk's website block in the hosts file for the parent, without lowering user account "
    "control.";
inline constexpr char kServiceStartedByHand[] =
    "ParvaliskService runs as the Windows service \"Parvalisk\", started by the service manager "
    "(sc start Parvalisk); it is not started by hand.\n";

// The service's entries in the Application event log, with the parts that change handed in.
inline std::string BlockRemovedEventText(bool atStart, bool putBack, const std::string& hostsPath,
                                         unsigned removals) {
    std::string text = atStart ? "When the Parvalisk service started, the hosts file " + hostsPath +
                                     " no longer held its block"
                               : "Another program removed Parvalisk's block from the hosts file " + hostsPath;
    if (removals > 1) text.append(" ").append(std::to_string(removals)).append(" times since the last entry");
    return text + (putBack ? ". It has been put back." : ", and it could not be put back.");
}
inline std::string EntriesUnreadableEventText(const std::string& entriesPath) {
    return "The Parvalisk service could not read the blocked entries kept in " + entriesPath +
           ": it has nothing to put back until blocking starts again.";
}
inline std::string EntriesNotKeptEventText(const std::string& entriesPath) {
    return "The Parvalisk service could not keep the blocked entries in " + entriesPath +
           ": after a restart it cannot put the block back.";
}
inline constexpr char kSentEntriesUnreadableEventText[] =
    "The Parvalisk service could not read back the blocked entries it was sent: it cannot put the block "
    "back until blocking starts again.";
inline std::string PipeTakenEventText(const std::string& pipeName) {
    return "The Parvalisk service did not start: another program had already made its pipe " + pipeName + ".";
}
inline std::string WaitFailedEventText(const std::string& systemError) {
    return "The Parvalisk service could not wait for its clients (" + systemError + "); it goes on trying.";
}
inline constexpr char kScheduledStartEventText[] =
    "The Parvalisk service put the block in force, as the weekly schedule or the end of a lift said.";
inline constexpr char kScheduledLiftEventText[] =
    "The Parvalisk service lifted the block, as the weekly schedule said.";
inline constexpr char kScheduledChangeFailedEventText[] =
    "The Parvalisk service could not change the block as the weekly schedule said; it tries again at the "
    "schedule's next change.";
inline std::string ScheduleUnreadableEventText(const std::string& schedulePath) {
    return "The Parvalisk service could not read the weekly schedule kept in " + schedulePath +
           ": it keeps the block as it is until a schedule is saved again.";
}
inline std::string FolderSetAsideEventText(const std::string& folder, const std::string& aside) {
    return "The folder " + folder +
           " was not the Parvalisk service's own (a link, or made by another account): it was renamed " +
           aside + " and made afresh.";
}

// ---- the schedule's words -------------------------------------------------------------------------
// When the schedule next changes, or a lift ends: "07:00" today, "07:00 on Tuesday" on another day
// (the day's name in the user's language).
inline std::string ScheduleMomentText(const std::string& time, const std::string& dayName) {
    return dayName.empty() ? time : time + " on " + dayName;
}
inline std::string BlockingLiftedText(const std::string& until) {
    return "Blocking is lifted until " + until + ".";
}
inline std::string BlockedUntilText(const std::string& until) {
    return "Blocked now, until " + until + ".";
}
inline std::string BlockBeginsText(const std::string& at) {
    return "Not blocked now; the block begins at " + at + ".";
}
inline constexpr char kBlockedAtEveryHour[] = "Blocked at every hour of the week.";
inline constexpr char kBlockedAtNoHour[] = "Not blocked at any hour of the week.";

// ---- the schedule in the main window ----------------------------------------------------------
inline constexpr char kScheduleNotFollowed[] = "The schedule is kept, but not followed.";
inline constexpr char kScheduleZoneUnknown[] = "The schedule's time zone is not known on this computer.";
inline constexpr char kScheduleNeedsService[] =
    "Schedules and lifts need the Parvalisk service, which is not running.";
inline constexpr char kScheduleNeedsAdministrator[] =
    "Only an administrator can change the schedule or lift the block.";
inline constexpr char kScheduleNeedsBlockPassword[] =
    "The schedule was not changed: it needs the password the block was started with.";
inline constexpr char kScheduleNeedsList[] = "Add the websites to block before the schedule is followed.";
inline constexpr char kScheduleRefused[] =
    "The Parvalisk service refused the schedule (its time zone is not known).";
inline constexpr char kScheduleNotKept[] = "The Parvalisk service could not keep the schedule.";
inline constexpr char kLiftRefused[] =
    "There is no block to lift, or the length is not from a minute to a day.";
inline constexpr char kLiftFailed[] =
    "The block could not be lifted: the clean hosts file could not be put back.";

// ---- the schedule window ----------------------------------------------------------------------
inline constexpr char kScheduleWindowCaption[] = "Blocking Schedule";
inline constexpr char kFollowScheduleCaption[] = "Block by this schedule";
inline constexpr char kScheduleNeedsServiceLine[] =
    "Schedules need the Parvalisk service, which is not running. See the README to install it.";
inline constexpr char kScheduleUnreadableLine[] = "The stored schedule could not be read.";
inline constexpr char kLiftBlockForCaption[] = "Lift the block for";
inline constexpr char kLiftCaption[] = "Lift";
inline constexpr char kSaveCaption[] = "Save";
// The lengths a lift of the block can take, in the order the list offers them; the first is chosen
// when the window opens.
struct LiftLength {
    const char* words;
    int minutes;
};
inline constexpr LiftLength kLiftLengths[] = {
    {"15 minutes", 15},
    {"30 minutes", 30},
    {"1 hour", 60},
    {"2 hours", 120},
};
