// Line output (the report output): new line / append of texts, echoed on the screen
// unless switched off, and sent to the printer file while printer output is on.
// Buffered; the first write error is kept for the caller that closes the file.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/screen.h"

namespace platform {

// Where printer output goes: a file, or a device of the printing layer.
class PrinterSink {
 public:
  virtual ~PrinterSink() = default;
  virtual bool write(std::string_view bytes) = 0;
  virtual bool close() = 0;  // flushes; false when anything failed
  virtual std::string error() const = 0;
};

class LineOutput {
 public:
  LineOutput(Screen& screen, const Files& files) : screen_(screen), files_(files) {}
  ~LineOutput();

  // CR LF, then the texts separated by one blank.
  void new_line(std::initializer_list<std::string_view> texts = {});
  // The texts on the current line, separated by one blank.
  void append(std::initializer_list<std::string_view> texts);
  // One text on the current line (the fast path of the writers).
  void write(std::string_view text);

  void set_echo(bool on) { echo_ = on; }
  bool echo() const { return echo_; }
  void set_printer(bool on) { printer_ = on; }
  bool printer() const { return printer_; }

  // Opens the printer file by program name (created or truncated); "" closes it.
  // False when it cannot be opened (the reason is kept in error()).
  bool set_printer_file(std::string_view name);
  // Routes printer output into another sink (a printer port, a PDF writer ...).
  void set_printer_sink(std::unique_ptr<PrinterSink> sink);
  bool has_printer_file() const { return sink_ != nullptr; }
  // Closes the printer file; false when opening, a write or the close failed.
  bool close_printer_file();

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  void clear_error() { error_.clear(); }

 private:
  void emit(std::string_view bytes);

  Screen& screen_;
  const Files& files_;
  std::unique_ptr<PrinterSink> sink_;
  bool echo_ = true;
  bool printer_ = false;
  std::string error_;
};

// A printer file on disk, written through a large buffer.
std::unique_ptr<PrinterSink> open_file_sink(const std::filesystem::path& path, std::string* error);

}  // namespace platform
