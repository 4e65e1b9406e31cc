// Line output and the file sink behind the printer file.
#include "platform/line_output.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

class FileSink : public PrinterSink {
 public:
  FileSink(std::FILE* f, std::string name) : file_(f), name_(std::move(name)), buffer_(1 << 16) {
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  }
  ~FileSink() override {
    if (file_) std::fclose(file_);
  }
  bool write(std::string_view bytes) override {
    if (!file_ || !error_.empty()) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      error_ = "zapis do " + name_ + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }
  bool close() override {
    if (!file_) return error_.empty();
    if (std::fflush(file_) != 0 && error_.empty())
      error_ = "zapis do " + name_ + ": " + std::strerror(errno);
    if (std::fclose(file_) != 0 && error_.empty())
      error_ = "zamkniecie " + name_ + ": " + std::strerror(errno);
    file_ = nullptr;
    return error_.empty();
  }
  std::string error() const override { return error_; }

 private:
  std::FILE* file_;
  std::string name_;
  std::vector<char> buffer_;
  std::string error_;
};

}  // namespace

std::unique_ptr<PrinterSink> open_file_sink(const std::filesystem::path& path, std::string* error) {
  std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error)
      *error = "nie mozna utworzyc " + path.string() + ": " +
               std::strerror(path.empty() ? ENOENT : errno);
    return nullptr;
  }
  return std::make_unique<FileSink>(f, path.string());
}

LineOutput::~LineOutput() {
  if (sink_) sink_->close();
}

void LineOutput::emit(std::string_view bytes) {
  if (echo_) {
    for (size_t i = 0; i < bytes.size();) {
      size_t nl = bytes.find("\r\n", i);
      screen_.tty_write(
          bytes.substr(i, nl == std::string_view::npos ? std::string_view::npos : nl - i));
      if (nl == std::string_view::npos) break;
      screen_.tty_newline();
      i = nl + 2;
    }
  }
  if (printer_ && sink_ && !sink_->write(bytes) && error_.empty()) error_ = sink_->error();
}

void LineOutput::write(std::string_view text) {
  emit(text);
}

void LineOutput::new_line(std::initializer_list<std::string_view> texts) {
  emit("\r\n");
  append(texts);
}

void LineOutput::append(std::initializer_list<std::string_view> texts) {
  bool first = true;
  for (std::string_view t : texts) {
    if (!first) emit(" ");
    emit(t);
    first = false;
  }
}

bool LineOutput::set_printer_file(std::string_view name) {
  close_printer_file();
  if (normalize_name(name).empty()) return true;
  std::string err;
  sink_ = open_file_sink(files_.resolve(name), &err);
  if (!sink_) {
    error_ = err;
    return false;
  }
  return true;
}

void LineOutput::set_printer_sink(std::unique_ptr<PrinterSink> sink) {
  close_printer_file();
  sink_ = std::move(sink);
}

bool LineOutput::close_printer_file() {
  if (!sink_) return !failed();
  bool ok = sink_->close();
  if (!ok && error_.empty()) error_ = sink_->error();
  sink_.reset();
  return ok && !failed();
}

}  // namespace platform
