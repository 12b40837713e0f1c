#pragma once
// The modal prompts the program shows: message boxes, the input box and the open-file dialog.
// Everything goes through one interface so that tests can answer the prompts and read them.

#include <windows.h>

#include <optional>
#include <string>

struct OpenFileRequest {
    std::string title;   // the dialog's caption
    std::string filter;  // "Name|*.ext|Name|*.ext|" pairs, as the program writes them
    DWORD flags = 0;     // OFN_* flags
};

struct Prompts {
    // A message box; returns the button the user chose (IDOK ...).
    virtual int MessageBox(const std::string& text, const std::string& title, UINT style) = 0;
    // A modal input box; nullopt on Cancel, the typed text (possibly "") on OK.
    virtual std::optional<std::string> InputBox(const std::string& prompt, const std::string& title) = 0;
    // The common open dialog; "" on Cancel, else the file name buffer with its NUL separators
    // (one full path, or the folder followed by each chosen name).
    virtual std::string OpenFileNames(const OpenFileRequest& request) = 0;
    virtual ~Prompts() = default;
};

// The prompts in force: the real Windows ones unless a test installed its own.
Prompts& CurrentPrompts();
// Installs prompts (nullptr puts the Windows prompts back). The caller keeps ownership.
void UsePrompts(Prompts* prompts);

// While it lives, every prompt is answered without being shown (OK, Cancel, no file), then the
// prompts from before are back. For the end of a Windows session: nobody is there to answer a
// box, and the process may be ended at any moment after the program has answered the system.
class SilencedPrompts {
  public:
    SilencedPrompts();
    ~SilencedPrompts();
    SilencedPrompts(const SilencedPrompts&) = delete;
    SilencedPrompts& operator=(const SilencedPrompts&) = delete;

  private:
    Prompts* previous_;
};
