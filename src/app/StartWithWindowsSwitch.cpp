#include "StartWithWindowsSwitch.h"

#include "MessagePump.h"
#include "ServiceBlocker.h"
#include "StartWithWindows.h"

namespace {

class DirectSwitch final : public StartWithWindowsSwitch {
  public:
    void Switch(bool on, const std::string& dataFolder) override { SwitchStartWithWindows(on, dataFolder); }
};

}  // namespace

StartWithWindowsSwitch& DirectStartWithWindows() {
    static DirectSwitch direct;
    return direct;
}

ServiceStartWithWindows::ServiceStartWithWindows(StartWithWindowsSwitch& direct, ServicePipeOptions options)
    : direct_(direct), options_(std::move(options)) {
    if (!options_.wait) options_.wait = WaitWhileEventsRun;
}

void ServiceStartWithWindows::Switch(bool on, const std::string& dataFolder) {
    // A service that is there but refuses or fails leaves the entries as they are, as a direct
    // write without the rights does; it is never done here behind its back.
    if (!AskService(EncodeSetStartWithWindowsRequest(on), MessageKind::SetStartWithWindowsAnswer, options_))
        direct_.Switch(on, dataFolder);
}
