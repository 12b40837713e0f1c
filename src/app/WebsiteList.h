#pragma once
// The website list: the ordered entries shown in the main window's list view. The
// entries live here and the list view is virtual (it asks for the text of the rows it draws),
// so lists of a million entries load, scroll and clear at once.
//
// All entry texts share one character store; each entry is a (start, length) pair into it. A
// million entries are then two allocations rather than a million, clearing frees two blocks,
// and a list file can be read straight into the store and split where it lies (see
// ReserveRaw/CommitRaw/AppendStored). A removed entry's characters stay in the store as garbage
// until garbage outweighs the live text, when the store is compacted.

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class WebsiteList {
    struct Span {
        size_t start;
        size_t length;
    };

  public:
    // Walks the entries in order, each as a view into the store, without copying anything:
    // for (std::string_view entry : list). Valid until the list next changes.
    class Iterator {
      public:
        Iterator(const char* store, const Span* span) : store_(store), span_(span) {}
        std::string_view operator*() const { return {store_ + span_->start, span_->length}; }
        Iterator& operator++() {
            ++span_;
            return *this;
        }
        bool operator==(const Iterator& other) const { return span_ == other.span_; }

      private:
        const char* store_;
        const Span* span_;
    };

    WebsiteList() = default;
    WebsiteList(const WebsiteList&) = delete;
    WebsiteList& operator=(const WebsiteList&) = delete;
    ~WebsiteList();

    HWND hwnd = nullptr;

    size_t Count() const { return spans_.size(); }
    std::string_view View(size_t index) const { return {store_ + spans_[index].start, spans_[index].length}; }
    // Every entry as a view into the store, in order: valid until the list next changes.
    std::vector<std::string_view> Views() const;
    Iterator begin() const { return {store_, spans_.data()}; }
    Iterator end() const { return {store_, spans_.data() + spans_.size()}; }

    // Appends one entry as the new last item.
    void Append(std::string_view text);
    // Appends many entries with one update of the view.
    void AppendRange(const std::vector<std::string>& texts);
    void Clear();
    void RemoveAt(size_t index);
    // The index the list reports as its selected item, or -1.
    int SelectedIndex() const;
    // Selects one item and gives it the focus (-1 clears the selection).
    void Select(int index);

    // Bulk loading without copies. ReserveRaw returns room for `bytes` characters at the end of
    // the store; CommitRaw makes the first `bytes` of them part of the store (not yet entries);
    // AppendStored makes a stretch of the store a new last entry without updating the view;
    // ShowAppended then brings the view up to date. Offsets stay valid when the store grows.
    char* ReserveRaw(size_t bytes);
    void CommitRaw(size_t bytes);
    size_t StoredSize() const { return size_; }
    size_t SpareRaw() const { return capacity_ - size_; }
    void AppendStored(size_t start, size_t length) {
        if (beforeChange_) RunBeforeChange();
        if (spans_.size() == spans_.capacity()) GrowSpans(spans_.size() + 1);
        spans_.push_back({start, length});
        live_ += length;
    }
    void ShowAppended();
    // Room for this many more entries, so that a big load does not copy the index as it grows.
    void ReserveEntries(size_t more);

    // Runs `keep` once, just before the entries next change (an append, a removal, a clear, or
    // a bulk load taking room): whoever treats the entries as they are now as their own copy
    // makes that copy only when they are about to differ. An empty `keep` cancels it.
    void CallBeforeNextChange(std::function<void()> keep) { beforeChange_ = std::move(keep); }

    // Answers the list view's LVN_GETDISPINFO for a row.
    void OnGetDispInfo(NMLVDISPINFOA& info) const;

  private:
    void GrowStore(size_t needed);
    void GrowSpans(size_t needed);
    void CompactIfWasteful();
    void RunBeforeChange();

    char* store_ = nullptr;  // malloc'd, so it can grow in place
    size_t size_ = 0;        // characters in use (live text plus garbage)
    size_t capacity_ = 0;
    size_t live_ = 0;  // characters that belong to entries
    std::vector<Span> spans_;
    std::function<void()> beforeChange_;
};
