#pragma once
// The modal prompts the program shows: message boxes, the input box and the open-file dialog.
// The windows are given the prompts when they are made: the program gives the Windows ones, a
// test its own that answer and record.

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

// The Windows prompts: MessageBoxA, the program's input box, the common open dialog.
class WindowsPrompts final : public Prompts {
  public:
    int MessageBox(const std::string& text, const std::string& title, UINT style) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title) override;
    std::string OpenFileNames(const OpenFileRequest& request) override;
};

// Passes every prompt on to the prompts it was given, except while silenced: then every prompt
// is answered without being shown (OK, Cancel, no file). For the end of a Windows session, when
// nobody is there to answer a box and the process may be ended at any moment.
class SilenceablePrompts final : public Prompts {
  public:
    explicit SilenceablePrompts(Prompts& shown) : shown_(shown) {}
    int MessageBox(const std::string& text, const std::string& title, UINT style) override;
    std::optional<std::string> InputBox(const std::string& prompt, const std::string& title) override;
    std::string OpenFileNames(const OpenFileRequest& request) override;

    // Silences the prompts for as long as the returned object lives.
    class Silence {
      public:
        explicit Silence(SilenceablePrompts& prompts) : prompts_(prompts), was_(prompts.silenced_) {
            prompts.silenced_ = true;
        }
        ~Silence() { prompts_.silenced_ = was_; }
        Silence(const Silence&) = delete;
        Silence& operator=(const Silence&) = delete;

      private:
        SilenceablePrompts& prompts_;
        bool was_;
    };

  private:
    Prompts& shown_;
    bool silenced_ = false;
};
