#include "ServiceRun.h"

#include "Failure.h"
#include "UserTexts.h"

DWORD RunService(const ServiceRunParts& parts) {
    parts.status.Report(SERVICE_START_PENDING, NO_ERROR);
    DWORD exitCode = NO_ERROR;
    {
        PipeServer server(parts.pipeName, parts.limits, nullptr, &parts.events);
        DWORD error = ERROR_SUCCESS;
        switch (server.Open(error)) {
            case PipeServer::OpenOutcome::NameTaken:
                parts.events.Write(EVENTLOG_ERROR_TYPE, ServiceEvent::PipeTaken,
                                   PipeTakenEventText(parts.pipeName));
                exitCode = ERROR_PIPE_BUSY;
                break;
            case PipeServer::OpenOutcome::Failed:
                exitCode = error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
                break;
            case PipeServer::OpenOutcome::Opened:
                try {
                    if (parts.prepare) parts.prepare();
                    parts.status.Report(SERVICE_RUNNING, NO_ERROR);
                    server.Serve(parts.stopEvent, parts.handler, parts.waits);
                } catch (const Failure& failure) {
                    exitCode = failure.code() == ERROR_SUCCESS ? ERROR_GEN_FAILURE : failure.code();
                } catch (...) {
                    exitCode = ERROR_GEN_FAILURE;
                }
                break;
        }
    }
    // Reported once the pipe is closed, so a service started again at once can make it anew.
    parts.status.Report(SERVICE_STOPPED, exitCode);
    return exitCode;
}
