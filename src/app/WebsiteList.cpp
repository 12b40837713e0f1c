#include "app/WebsiteList.h"

#include <commctrl.h>

#include <algorithm>

void WebsiteList::SyncCount() {
    if (hwnd == nullptr) return;
    ListView_SetItemCountEx(hwnd, static_cast<int>(entries_.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void WebsiteList::Append(std::string text) {
    entries_.push_back(std::move(text));
    SyncCount();
}

void WebsiteList::AppendRange(std::vector<std::string>&& texts) {
    if (entries_.empty()) {
        entries_ = std::move(texts);
    } else {
        entries_.insert(entries_.end(), std::make_move_iterator(texts.begin()),
                        std::make_move_iterator(texts.end()));
    }
    SyncCount();
}

void WebsiteList::Clear() {
    std::vector<std::string>().swap(entries_);
    if (hwnd != nullptr) ListView_SetItemCountEx(hwnd, 0, 0);
}

void WebsiteList::RemoveAt(size_t index) {
    if (index >= entries_.size()) return;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    if (hwnd != nullptr) {
        ListView_SetItemCountEx(hwnd, static_cast<int>(entries_.size()), LVSICF_NOSCROLL);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
}

int WebsiteList::SelectedIndex() const {
    if (hwnd == nullptr) return -1;
    int index = ListView_GetNextItem(hwnd, -1, LVNI_SELECTED);
    return index >= 0 && static_cast<size_t>(index) < entries_.size() ? index : -1;
}

void WebsiteList::OnGetDispInfo(NMLVDISPINFOA& info) const {
    if (!(info.item.mask & LVIF_TEXT) || info.item.pszText == nullptr || info.item.cchTextMax <= 0) return;
    size_t row = static_cast<size_t>(info.item.iItem);
    if (info.item.iItem < 0 || row >= entries_.size()) {
        info.item.pszText[0] = '\0';
        return;
    }
    const std::string& text = entries_[row];
    size_t n = std::min(text.size(), static_cast<size_t>(info.item.cchTextMax - 1));
    std::copy_n(text.data(), n, info.item.pszText);
    info.item.pszText[n] = '\0';
}
