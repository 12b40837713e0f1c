// The main window's password field: every change of its text is the new password.
#include <optional>
#include <string>
#include <utility>

#include "Appearance.h"
#include "LayoutBuilder.h"
#include "MainWindow.h"
#include "PasswordHash.h"
#include "SettingsStore.h"
#include "UserTexts.h"

void MainWindow::OnPasswordFieldChanged() {
    // A text longer than the field takes came past the keyboard (WM_SETTEXT passes its limit by).
    // It is cut to that length, and the change the cut makes is the one stored: the password is
    // always the text the field shows, and no entry of a million characters holds the program up
    // while it is hashed.
    const std::string text = controls_.passwordField.Caption();
    if (text.size() > static_cast<size_t>(kPasswordFieldMaxLength)) {
        controls_.passwordField.SetCaption(text.substr(0, kPasswordFieldMaxLength));
        return;
    }
    // Stored hashed; the empty field stores the empty value, which removes the protection.
    std::string hash;
    try {
        hash = HashPassword(text);
        settings_.Save(kKeyPassword, hash);
        passwordChanges_.storeFailureShown = false;
    } catch (...) {
        // Left silent, the user would believe in a password that was never stored and could be
        // locked out of the tray (or in with the old one); say so once while the store refuses.
        if (passwordChanges_.storeFailureShown) return;
        passwordChanges_.storeFailureShown = true;
        std::string description = DescribeCurrentFailure();
        try {
            prompts_.MessageBox(kPasswordNotStoredLine + description, ApplicationTitle(), MB_OK);
        } catch (...) {
            // A box that cannot be shown leaves nothing else to tell.
        }
        return;
    }
    ChangeBlockPassword(text, hash);
}

void MainWindow::ChangeBlockPassword(const std::string& text, const std::string& hash) {
    // The window's events run while the service takes a change, so the next keystroke can come
    // meanwhile: it waits for the change before it, and the service and this window end holding
    // the last password typed.
    if (passwordChanges_.changing) {
        passwordChanges_.pending = {text, hash};
        return;
    }
    passwordChanges_.changing = true;
    ScopeExit done([&] { passwordChanges_.changing = false; });
    std::optional<std::pair<std::string, std::string>> next{{text, hash}};
    while (next) {
        const auto [nextText, nextHash] = std::move(*next);
        ChangeBlockPasswordNow(nextText, nextHash);
        next = std::exchange(passwordChanges_.pending, std::nullopt);
    }
}

void MainWindow::ChangeBlockPasswordNow(const std::string& text, const std::string& hash) {
    // The block this window started is lifted with the password it was started with: a new one
    // reaches the part that guards it (the blocking service) together with the old one, and is
    // from then on the one a stop shows.
    PasswordChangeOutcome outcome = PasswordChangeOutcome::Changed;
    if (state_.blocking && state_.userIsAdmin)
        WhileServiceWorks([&] { outcome = blocker_.ChangePassword(lock_.UnlockPassword(), hash); });
    if (outcome == PasswordChangeOutcome::Changed) {
        lock_.HoldPassword(text);
        passwordChanges_.refusalShown = false;
        return;
    }
    // The block keeps the password it had, and so does this window for its stop; the new one
    // binds the blocks started from now on. Told once while the service keeps refusing.
    if (passwordChanges_.refusalShown) return;
    passwordChanges_.refusalShown = true;
    try {
        ShowNotice(kBlockKeepsItsPassword);
    } catch (...) {
        // A box that cannot be shown leaves nothing else to tell.
    }
}
