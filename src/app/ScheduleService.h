#pragma once
// What the window asks of the blocking service about the weekly schedule and the lifts. Only the
// service keeps a schedule: where none answers there is nothing to ask, and the window says so.

#include <cstdint>
#include <optional>
#include <string>

#include "Blocker.h"
#include "Handles.h"
#include "ServiceProtocol.h"

class ScheduleService {
  public:
    // The service's status (its schedule and lift among it); nothing when no service answers.
    virtual std::optional<ServiceStatus> ScheduleStatus() = 0;
    // A schedule saved with the list it blocks, bound to the password whose hash is given;
    // `password` is what the parent typed to unlock. Nothing when no service answers; a refusal
    // when it did not answer in time.
    virtual std::optional<ServiceAnswer> SaveSchedule(const std::string& password,
                                                      const std::string& passwordHash,
                                                      const std::string& schedule,
                                                      const BlockList& entries) = 0;
    virtual std::optional<ServiceAnswer> Lift(const std::string& password, std::uint32_t minutes) = 0;
    // The signal the service sets for a moment after each change of the block or the schedule,
    // opened only to wait on; none when it cannot be had.
    virtual UniqueKernelHandle OpenChangeSignal() = 0;

  protected:
    ~ScheduleService() = default;
};
