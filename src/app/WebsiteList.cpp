#include "WebsiteList.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

namespace {
// Below this much garbage the store is never compacted: small lists are not worth the copy.
constexpr size_t kCompactThreshold = 64 * 1024;
}  // namespace

WebsiteList::~WebsiteList() {
    std::free(store_);
}

std::vector<std::string_view> WebsiteList::Views() const {
    std::vector<std::string_view> views;
    views.reserve(Count());
    for (size_t i = 0; i < Count(); ++i) views.push_back(View(i));
    return views;
}

void WebsiteList::GrowStore(size_t needed) {
    if (needed <= capacity_) return;
    size_t capacity = std::max(needed, capacity_ + capacity_ / 2);
    if (capacity < 256) capacity = 256;
    void* grown = std::realloc(store_, capacity);
    if (grown == nullptr && capacity > needed) {
        capacity = needed;
        grown = std::realloc(store_, capacity);
    }
    if (grown == nullptr) throw std::bad_alloc();
    store_ = static_cast<char*>(grown);
    capacity_ = capacity;
}

void WebsiteList::GrowSpans(size_t needed) {
    if (needed <= spans_.capacity()) return;
    spans_.reserve(std::max(needed, spans_.capacity() + spans_.capacity() / 2 + 16));
}

void WebsiteList::ReserveEntries(size_t more) {
    GrowSpans(spans_.size() + more);
}

void WebsiteList::RunBeforeChange() {
    // Taken out first: the call may read the list, and runs once.
    std::function<void()> keep = std::move(beforeChange_);
    beforeChange_ = nullptr;
    if (keep) keep();
}

char* WebsiteList::ReserveRaw(size_t bytes) {
    if (beforeChange_) RunBeforeChange();
    if (bytes > static_cast<size_t>(-1) - size_) throw std::bad_alloc();
    GrowStore(size_ + bytes);
    return store_ + size_;
}

void WebsiteList::CommitRaw(size_t bytes) {
    size_ = std::min(size_ + bytes, capacity_);
}

void WebsiteList::ShowAppended() {
    if (hwnd == nullptr) return;
    ListView_SetItemCountEx(hwnd, static_cast<int>(spans_.size()), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void WebsiteList::Append(std::string_view text) {
    // The text may lie inside the store itself (a view of an entry). Growing the store may move
    // it and free the old block, so its offset is noted first and the text read from the store
    // where it lies after the growth.
    size_t length = text.size();
    std::less<const char*> before;
    bool inStore = store_ != nullptr && !before(text.data(), store_) && before(text.data(), store_ + size_);
    size_t offset = inStore ? static_cast<size_t>(text.data() - store_) : 0;
    char* room = ReserveRaw(length);
    GrowSpans(spans_.size() + 1);
    std::memmove(room, inStore ? store_ + offset : text.data(), length);
    CommitRaw(length);
    AppendStored(size_ - length, length);
    ShowAppended();
}

void WebsiteList::AppendRange(const std::vector<std::string>& texts) {
    size_t total = 0;
    for (const std::string& text : texts) total += text.size();
    ReserveRaw(total);
    GrowSpans(spans_.size() + texts.size());
    for (const std::string& text : texts) {
        std::memcpy(store_ + size_, text.data(), text.size());
        size_ += text.size();
        AppendStored(size_ - text.size(), text.size());
    }
    ShowAppended();
}

void WebsiteList::Clear() {
    if (beforeChange_) RunBeforeChange();
    // Two blocks to free, whatever the number of entries.
    std::vector<Span>().swap(spans_);
    std::free(store_);
    store_ = nullptr;
    size_ = capacity_ = live_ = 0;
    if (hwnd != nullptr) ListView_SetItemCountEx(hwnd, 0, 0);
}

void WebsiteList::CompactIfWasteful() {
    size_t garbage = size_ - live_;
    if (garbage < kCompactThreshold || garbage < live_) return;
    // AppendStored may name any stretch of the store, so entries need not lie in order: copy
    // into a fresh block rather than sliding in place.
    char* fresh = static_cast<char*>(std::malloc(live_ > 0 ? live_ : 1));
    if (fresh == nullptr) return;  // keep the garbage; the entries are intact
    size_t at = 0;
    for (Span& span : spans_) {
        std::memcpy(fresh + at, store_ + span.start, span.length);
        span.start = at;
        at += span.length;
    }
    std::free(store_);
    store_ = fresh;
    capacity_ = live_ > 0 ? live_ : 1;
    size_ = at;
}

void WebsiteList::RemoveAt(size_t index) {
    if (index >= spans_.size()) return;
    if (beforeChange_) RunBeforeChange();
    live_ -= spans_[index].length;
    spans_.erase(spans_.begin() + static_cast<std::ptrdiff_t>(index));
    CompactIfWasteful();
    if (hwnd != nullptr) {
        ListView_SetItemCountEx(hwnd, static_cast<int>(spans_.size()), LVSICF_NOSCROLL);
        InvalidateRect(hwnd, nullptr, TRUE);
        // The entry that moved up into the removed one's place becomes the selected one, so
        // Delete pressed again goes on down the list.
        Select(spans_.empty() ? -1 : static_cast<int>(std::min(index, spans_.size() - 1)));
    }
}

int WebsiteList::SelectedIndex() const {
    if (hwnd == nullptr) return -1;
    int index = ListView_GetNextItem(hwnd, -1, LVNI_SELECTED);
    return index >= 0 && static_cast<size_t>(index) < spans_.size() ? index : -1;
}

void WebsiteList::Select(int index) {
    if (hwnd == nullptr) return;
    // Only the one selected row is cleared: clearing "all rows" walks every one of a million.
    int selected = ListView_GetNextItem(hwnd, -1, LVNI_SELECTED);
    if (selected >= 0 && selected != index)
        ListView_SetItemState(hwnd, selected, 0, LVIS_SELECTED | LVIS_FOCUSED);
    int focused = ListView_GetNextItem(hwnd, -1, LVNI_FOCUSED);
    if (focused >= 0 && focused != index) ListView_SetItemState(hwnd, focused, 0, LVIS_FOCUSED);
    if (index < 0 || static_cast<size_t>(index) >= spans_.size()) return;
    ListView_SetItemState(hwnd, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(hwnd, index, FALSE);
}

void WebsiteList::OnGetDispInfo(NMLVDISPINFOA& info) const {
    if (!(info.item.mask & LVIF_TEXT) || info.item.pszText == nullptr || info.item.cchTextMax <= 0) return;
    size_t row = static_cast<size_t>(info.item.iItem);
    if (info.item.iItem < 0 || row >= spans_.size()) {
        info.item.pszText[0] = '\0';
        return;
    }
    std::string_view text = View(row);
    size_t n = std::min(text.size(), static_cast<size_t>(info.item.cchTextMax - 1));
    std::copy_n(text.data(), n, info.item.pszText);
    info.item.pszText[n] = '\0';
}
