#pragma once
// What every end-to-end test starts from: a temporary tree whose hosts folder the machine's
// hosts folder points at while the test runs (so the built program changes the tree's hosts file,
// never the prefix's own), the program's settings and data folder cleared before and after, and
// one run of the built Parvalisk.exe that is ended when the test ends.

#include <memory>
#include <string>

#include "MainWindow.h"
#include "support/ProgramRun.h"
#include "support/SystemHostsFolder.h"
#include "support/TempTree.h"

class EndToEndTest : public TempTree {
  protected:
    void SetUp() override {
        TempTree::SetUp();
        systemHosts_ = std::make_unique<SystemHostsFolder>(windir + "\\system32\\drivers\\etc");
        ASSERT_TRUE(systemHosts_->InForce()) << "the machine's hosts folder could not be pointed at the tree";
        program_run::ClearProgramState();
    }
    void TearDown() override {
        program.End();
        program_run::ClearProgramState();
        systemHosts_.reset();
        TempTree::TearDown();
    }

    // Starts the program and waits for its main window (shown or not); null when none came.
    HWND StartProgram(const std::string& workingFolder = ProgramFolder()) {
        main = nullptr;
        if (!program.Start(workingFolder)) {
            ADD_FAILURE() << "could not start " << program_run::ProgramExe();
            return nullptr;
        }
        WaitForInputIdle(program.handle(), 20000);
        if (!program_run::WaitFor(
                [&] { return (main = program_run::FindTopWindow(program.id(), kMainWindowClassName)); }))
            ADD_FAILURE() << "the main window did not appear";
        return main;
    }
    // The file the program keeps the clean copy of the hosts file in.
    static std::string BackupPath() { return HostsBackupPath(program_run::ProgramDataFolder()); }

    program_run::ProgramProcess program;
    HWND main = nullptr;

  private:
    std::unique_ptr<SystemHostsFolder> systemHosts_;
};
