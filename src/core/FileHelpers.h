#pragma once
// Small stateless file helpers that the rest of the program uses instead of touching files
// directly. None shows a message: each reports through its result, or (ReadFileText on an
// existing file it cannot read) throws a Failure for the calling procedure's error report.

#include <cstddef>
#include <functional>
#include <string>

#include <windows.h>

// True when the file's last-modified time can be read (the file or folder exists).
bool FileExists(const std::string& path);

// The whole file as text, byte for byte; "" for a missing file; "empty file" for length 0.
// Throws Failure when an existing file cannot be opened or read.
std::string ReadFileText(const std::string& path);

// Reads from the file's position to its end, appending to `into`. False when a read is refused
// (what was read before stays in `into`).
bool ReadToEnd(HANDLE file, std::string& into);

// Replaces the file's content by the text (a missing file is created). True only when the file
// then holds exactly the text; any failure gives false with the file as it was wherever the
// system allows. The text is written beside the file (as path + ".parvalisk-new", the replaced
// original kept as path + ".parvalisk-old" until the new file stands) and takes its place in one
// step; a file another program holds open without delete sharing is written in place and read
// back. A read-only file is refused. What a write cut short left under those two names is cleared
// first, an original whose file is missing being put back in its place; a folder under either
// name is left alone and the write refused.
bool WriteFileText(const std::string& path, const std::string& text);

// Takes a file's content piece by piece while it is written or checked.
class ContentSink {
  public:
    virtual void Put(const char* data, size_t size) = 0;

  protected:
    ~ContentSink() = default;
};

// Gives a file's content to a sink, in as many pieces as it likes. It may be called more than
// once for one write (to write the file, and again to read it back) and must give the same bytes
// each time.
using ContentProducer = std::function<void(ContentSink&)>;

// WriteFileText for content that is produced in pieces, so that a large text never has to be
// held whole in memory. The same rules and the same result.
bool WriteFileContent(const std::string& path, const ContentProducer& produce);

// Deletes the file, falling back to a forced delete that also removes a read-only file. Silent,
// also for a missing file.
void DeleteFileForced(const std::string& path);
