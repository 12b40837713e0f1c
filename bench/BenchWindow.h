#pragma once
// A main window loaded as the program loads it, for the benchmarks, on a throwaway tree of its
// own: an all-users folder (the data folder is made inside it), a hosts file and a settings key,
// all removed again at the end. No box waits for a click (each is printed and counted), the
// administrator answer is yes, the resolver flush is counted, and the tray's balloons end at
// once and never reach the real notification area.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Blocker.h"
#include "FileOwnership.h"
#include "MainWindow.h"
#include "support/MainWindowView.h"
#include "MessagePump.h"
#include "ProgramPaths.h"
#include "Prompts.h"
#include "SettingsStore.h"
#include "SystemAnswersAndActions.h"
#include "TrayIcon.h"
#include "support/RemoveTree.h"

struct PrintedPrompts : Prompts {
    int MessageBox(const std::string& text, const std::string& title, UINT) override {
        std::fprintf(stderr, "box [%s]: %s\n", title.c_str(), text.c_str());
        ++shown;
        return IDOK;
    }
    std::optional<std::string> InputBox(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::string OpenFileNames(const OpenFileRequest&) override { return ""; }
    int shown = 0;
};

struct CountingAnswers : SystemAnswersAndActions {
    int DrawOneToHundred() override { return 50; }
    void OpenHomePage(const std::string&) override {}
    bool IsAdministrator() override { return true; }
    void FlushResolverCache() override { ++flushes; }
    int flushes = 0;
};

class BenchWindow {
  public:
    // `name` tells the tree apart; the hosts file starts with `hosts`. The list starts empty.
    BenchWindow(const std::string& name, const std::string& hosts) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        const std::string id = name + "-" + std::to_string(GetCurrentProcessId());
        root = std::string(temp) + "parvalisk-bench-" + id;
        RemoveTree(root);
        for (const char* sub : {"", "\\etc"}) CreateDirectoryA((root + sub).c_str(), nullptr);
        hostsPath = root + "\\etc\\hosts";
        WriteAll(hostsPath, hosts);
        settingsKey_ = "Software\\ParvaliskBench\\" + id;
        settings_ = SettingsStore(HKEY_CURRENT_USER, settingsKey_);
        // As the program works on a machine without the blocking service: it writes the block
        // itself and keeps no entries for a service to resume.
        BlockingPlace place{hostsPath, DataFolderPath(root), &SystemOwnership()};
        place.keepsEntries = false;
        blocker_ = std::make_unique<DirectBlocker>(place);
        MainWindowParts parts{prompts, answers, settings_, hostsPath, root, &EndBalloonsAtOnce};
        parts.blocker = blocker_.get();
        form = std::make_unique<MainWindow>(parts);
        form->Load();
        ProcessPendingEvents();
        MainWindowView::ClearList(*form);
    }
    ~BenchWindow() {
        form.reset();
        ProcessPendingEvents();
        RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ParvaliskBench");
        RemoveTree(root);
    }
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    // Takes the window into the tray, as a minimise does: a start's own minimise then only
    // records the state asked for.
    void HideInTray() {
        ShowWindow(form->hwnd(), SW_MINIMIZE);
        ProcessPendingEvents();
    }
    // Appends these names to the list, through a list file as "Load Websites From File" reads it.
    void Append(const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) text += name + "\r\n";
        text.resize(text.size() - (text.empty() ? 0 : 2));
        const std::string path = root + "\\names.txt";
        WriteAll(path, text);
        MainWindowView::LoadListFile(*form, path);
        DeleteFileA(path.c_str());
    }
    // Lets the list view draw what it now shows.
    void Paint() const {
        UpdateWindow(MainWindowView::List(*form).hwnd);
        ProcessPendingEvents();
    }

    static void WriteAll(const std::string& path, const std::string& text) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }

    std::string root, hostsPath;
    PrintedPrompts prompts;
    CountingAnswers answers;
    std::unique_ptr<MainWindow> form;

  private:
    static BOOL WINAPI EndBalloonsAtOnce(DWORD message, PNOTIFYICONDATAA record) {
        if (message == NIM_MODIFY && (record->uFlags & NIF_INFO) && record->szInfo[0] != '\0')
            PostMessageA(record->hWnd, kTrayCallbackMessage, kTrayIconId, NIN_BALLOONTIMEOUT);
        return TRUE;
    }

    std::string settingsKey_;
    SettingsStore settings_;
    std::unique_ptr<DirectBlocker> blocker_;
};
