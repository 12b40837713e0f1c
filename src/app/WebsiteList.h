#pragma once
// The website list: the ordered entries shown in the main window's list view `ListView1`. The
// entries live here and the list view is virtual (it asks for the text of the rows it draws),
// so lists of a million entries load, scroll and clear at once.

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class WebsiteList {
public:
    HWND hwnd = nullptr;

    size_t Count() const { return entries_.size(); }
    const std::string& Text(size_t index) const { return entries_[index]; }
    const std::vector<std::string>& Entries() const { return entries_; }

    // Appends one entry as the new last item.
    void Append(std::string text);
    // Appends many entries with one update of the view.
    void AppendRange(std::vector<std::string>&& texts);
    void Clear();
    void RemoveAt(size_t index);
    // The index the list reports as its selected item, or -1.
    int SelectedIndex() const;

    // Answers the list view's LVN_GETDISPINFO for a row.
    void OnGetDispInfo(NMLVDISPINFOA& info) const;

private:
    void SyncCount();
    std::vector<std::string> entries_;
};
