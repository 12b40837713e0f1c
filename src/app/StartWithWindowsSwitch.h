#pragma once
// Who writes the machine-wide entries of "Load this software on Windows startup" (the Run value
// and the start-up marker): this program, or the blocking service when it answers, since only an
// elevated program may write them itself.

#include <string>
#include <utility>

#include "ServicePipeClient.h"

struct StartWithWindowsSwitch {
    // Switches start with Windows on or off for the machine. Silent, whatever comes of it.
    virtual void Switch(bool on, const std::string& dataFolder) = 0;

  protected:
    ~StartWithWindowsSwitch() = default;
};

// Writes the entries here, with this process's own rights (SwitchStartWithWindows).
StartWithWindowsSwitch& DirectStartWithWindows();

// Hands the switch to the service; where no service answers, `direct` does it.
class ServiceStartWithWindows final : public StartWithWindowsSwitch {
  public:
    // Options without a wait of their own wait while the window's events run.
    ServiceStartWithWindows(StartWithWindowsSwitch& direct, ServicePipeOptions options);
    void Switch(bool on, const std::string& dataFolder) override;

  private:
    StartWithWindowsSwitch& direct_;
    ServicePipeOptions options_;
};
