#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "WebsiteList.h"
#include "support/ListEntries.h"

namespace {

// Random edits on the shared-store list and on a plain vector side by side: after each step the
// two hold the same entries, through growth of the store, removals that leave garbage and the
// compactions that reclaim it. Now and then a call before the next change is armed: it runs once,
// at the next edit, while the list still holds what it held when armed.
TEST(WebsiteList, KeepsTheSameEntriesAsAPlainVectorThroughEdits) {
    std::mt19937 random(7);
    WebsiteList list;
    std::vector<std::string> model;
    std::vector<std::string> armedWith;
    int calls = 0;
    bool armed = false, sawArmedEntries = false;
    auto randomText = [&] {
        std::string text(random() % 300, '\0');
        for (char& c : text) c = static_cast<char>(random() % 256);
        return text;
    };
    for (int step = 0; step < 20000; ++step) {
        if (!armed && step % 97 == 0) {
            armed = true;
            armedWith = model;
            calls = 0;
            list.CallBeforeNextChange([&] {
                ++calls;
                sawArmedEntries = EntriesOf(list) == armedWith;
            });
        }
        unsigned action = random() % 100;
        if (action < 45) {
            std::string text = randomText();
            list.Append(text);
            model.push_back(text);
        } else if (action < 50 && !model.empty()) {
            // An entry appended from the list's own text, which lives in the store being grown.
            size_t from = random() % model.size();
            list.Append(list.View(from));
            model.push_back(model[from]);
        } else if (action < 53) {
            std::vector<std::string> batch(random() % 50);
            for (std::string& text : batch) text = randomText();
            list.AppendRange(batch);
            model.insert(model.end(), batch.begin(), batch.end());
        } else if (action < 99 && !model.empty()) {
            size_t at = random() % model.size();
            list.RemoveAt(at);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (action == 99) {
            list.Clear();
            model.clear();
        }
        ASSERT_EQ(list.Count(), model.size()) << "step " << step;
        if (armed && model != armedWith) {
            ASSERT_EQ(calls, 1) << "step " << step;
            ASSERT_TRUE(sawArmedEntries) << "the call came after the change, step " << step;
            armed = false;
        }
        size_t live = 0;
        for (const std::string& text : model) live += text.size();
        size_t garbage = list.StoredSize() - live;
        ASSERT_LE(garbage, std::max<size_t>(64 * 1024, live)) << "removed text is reclaimed, step " << step;
        if (step % 500 == 0) {
            ASSERT_EQ(EntriesOf(list), model) << "step " << step;
            std::vector<std::string> walked;
            for (std::string_view entry : list) walked.emplace_back(entry);
            ASSERT_EQ(walked, model) << "the walk in place, step " << step;
        }
    }
    EXPECT_EQ(EntriesOf(list), model);
    list.RemoveAt(model.size());  // past the end: nothing happens
    EXPECT_EQ(EntriesOf(list), model);
}

TEST(WebsiteList, AppendingAViewOfItsOwnEntryCopiesItBeforeTheStoreMoves) {
    // A view of an entry points into the store; when the append must grow the store, the block
    // may move and the old one be freed before the text is copied. Under Wine a block of more
    // than about 512 KB is a mapping of its own, unmapped when freed, so reading the old block
    // then faults or reads garbage instead of going unnoticed.
    WebsiteList list;
    std::string large(600 * 1024, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 23);
    list.Append(large);
    while (list.SpareRaw() >= large.size()) list.Append(list.View(0));
    ASSERT_LT(list.SpareRaw(), large.size()) << "the next append must grow the store";
    list.Append(list.View(0));
    ASSERT_EQ(list.View(list.Count() - 1).size(), large.size());
    EXPECT_TRUE(list.View(list.Count() - 1) == large) << "the appended copy differs from the entry";
    EXPECT_TRUE(list.View(0) == large);
}

}  // namespace
