// JPK_VAT line reader and the digit filter.
//
// The reader is no XML parser: it knows an element by the text a line begins with (one
// element per line, namespace prefix "tns"). Rules are matched without regard to the case
// of a-z, but every value is taken from the line as read, so letters, entity references
// and UTF-8 text reach the merge work table unchanged.
#include "app/czyt_xml_jpk.h"

#include <array>

#include "app/jpk_dbf.h"
#include "app/jpk_line_scan.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/_readl.h"

namespace app {

std::string CYFRY(std::string_view text, int n) {
  std::string digits;
  for (char c : text) {
    if (c < '0' || c > '9') continue;
    digits += c;
    if (n > 0 && static_cast<int>(digits.size()) >= n) break;
  }
  return digits;
}

std::string_view element_value(std::string_view line) {
  return scan_line(line).value(line);
}

namespace {

// Leading blanks, tabs, CRs and LFs off.
std::string_view strip_leading(std::string_view line) {
  size_t i = 0;
  while (i < line.size() &&
         (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
    ++i;
  return line.substr(i);
}

constexpr int kFirstAmount = 10, kLastAmount = 48;
constexpr size_t kEchoBlock = 1 << 16;

// Positions of the row-buffer members the rules fill, looked up once per file.
struct Members {
  explicit Members(const platform::NamedTexts& row) {
    s_z = row.index_of("M_S_Z");
    lp_old = row.index_of("M_LP_OLD");
    data = row.index_of("M_DATA");
    nr_dok = row.index_of("M_NR_DOK");
    nodb = row.index_of("M_NODB");
    adres = row.index_of("M_ADRES");
    nip = row.index_of("M_NIP");
    for (int k = kFirstAmount; k <= kLastAmount; ++k)
      amount[k - kFirstAmount] = row.index_of("M_K" + std::to_string(k));
  }
  int s_z, lp_old, data, nr_dok, nodb, adres, nip;
  std::array<int, kLastAmount - kFirstAmount + 1> amount;
};

// The member "M_K" + the two characters after "<TNS:K_", or -1 when there is none.
int amount_member(const Members& m, std::string_view line) {
  if (line.size() < 9) return -1;
  const char a = line[7], b = line[8];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  const int k = (a - '0') * 10 + (b - '0');
  return k < kFirstAmount || k > kLastAmount ? -1 : m.amount[k - kFirstAmount];
}

// The copy of the lines read on the report output, each followed by CR LF. A line that
// ended in CR LF in the file is that copy already, so runs of such lines go out straight
// from the file's buffer; other lines get their CR LF in a block of their own.
class Echo {
 public:
  explicit Echo(platform::LineOutput& out) : out_(out) {}
  ~Echo() { flush(); }
  Echo(const Echo&) = delete;
  Echo& operator=(const Echo&) = delete;

  // `line` as read and the number of file bytes it took, its line end included.
  void line(std::string_view line, size_t consumed) {
    if (consumed == line.size() + 2) {
      flush_block();
      if (line.data() != run_end_) flush_run();
      if (!run_begin_) run_begin_ = line.data();
      run_end_ = line.data() + consumed;
      return;
    }
    flush_run();
    block_.append(line);
    block_.append("\r\n");
    if (block_.size() >= kEchoBlock) flush_block();
  }
  // Before the file's buffer is refilled, and before anything is told.
  void flush() {
    flush_run();
    flush_block();
  }

 private:
  void flush_run() {
    if (run_begin_)
      out_.write(std::string_view(run_begin_, static_cast<size_t>(run_end_ - run_begin_)));
    run_begin_ = run_end_ = nullptr;
  }
  void flush_block() {
    if (!block_.empty()) out_.write(block_);
    block_.clear();
  }

  platform::LineOutput& out_;
  const char* run_begin_ = nullptr;  // a run of file bytes not yet written
  const char* run_end_ = nullptr;
  std::string block_;
};

class FileReader {
 public:
  FileReader(Runtime& rt, std::string_view name)
      : rt_(rt), name_(name), members_(rt.vars.row), row_(rt), echo_(rt.out) {}

  ReadSummary run() {
    tables::LineFile file;
    if (!file.open(rt_.files.resolve(name_))) {
      const std::string text = "Problem z czytaniem " + std::string(name_);
      tables::_OKNO_(rt_, text);
      tables::_OKNO_(rt_, text);
      return summary_;
    }
    summary_.opened = true;
    while (file.pos() < file.size()) {
      // Lines taken from the buffer stay valid only until it is refilled.
      if (file.pos() + static_cast<int64_t>(tables::kLineReach) > file.buffered_end())
        echo_.flush();
      const int64_t at = file.pos();
      const std::string_view line = file.read_lf_line();
      echo_.line(line, static_cast<size_t>(file.pos() - at));
      if (++summary_.lines > kMaxSourceLines) {
        summary_.capped = true;
        echo_.flush();
        tables::_OKNO_(rt_,
                       "Plik " + std::string(name_) + ": przerwano po " +
                           std::to_string(kMaxSourceLines) + " liniach",
                       0);
        break;
      }
      if (!interpret(strip_leading(line))) break;
    }
    echo_.flush();
    file.close();
    finish();
    return summary_;
  }

 private:
  // Applies the first rule that fits the line; false when a row could not be stored.
  bool interpret(std::string_view line) {
    const FoldedHead head(line);
    const bool tns = head.begins_with("<TNS:");
    const char kind = tns ? head[5] : '\0';
    const LineScan scan = scan_line(line);
    if (kind == 'D') {
      if (head.begins_with("<TNS:DATAOD")) {
        rt_.vars.DATA_OD.assign(scan.value(line));
        return true;
      }
      if (head.begins_with("<TNS:DATADO")) {
        rt_.vars.DATA_DO.assign(scan.value(line));
        return true;
      }
    }
    switch (scan.row) {
      case RowTag::kOpens:
        in_row_ = true;
        row_.set(members_.s_z, "S");
        row_.clear();
        return true;
      case RowTag::kCloses:
        // Only a row that is open is appended: a stray closing line would otherwise store
        // the row appended last a second time.
        if (!in_row_) return true;
        in_row_ = false;
        if (!row_.append(&summary_.values_cut)) {
          write_failed();
          return false;
        }
        ++summary_.rows;
        return true;
      case RowTag::kNone:
        break;
    }
    if (!in_row_ || kind == '\0') return true;
    // The rules of a row, picked by the first letter of the element name.
    const auto take = [&](std::string_view pattern, int member) {
      if (!head.begins_with(pattern)) return false;
      row_.set(member, scan.value(line));
      return true;
    };
    switch (kind) {
      case 'L':
        take("<TNS:LP", members_.lp_old);
        break;
      case 'D':
        take("<TNS:DATAWYST", members_.data);
        break;
      case 'N':
        take("<TNS:NRDOK", members_.nr_dok) || take("<TNS:NAZWA", members_.nodb) ||
            take("<TNS:NRKONTR", members_.nip);
        break;
      case 'A':
        take("<TNS:ADRES", members_.adres);
        break;
      case 'K':
        if (head.begins_with("<TNS:K_")) {
          auto& pole = rt_.vars.POLE;
          pole.assign("M_K");
          for (size_t i = 7; i < 9 && i < line.size(); ++i) pole += head[i];
          row_.set(amount_member(members_, line), scan.value(line));
        }
        break;
    }
    return true;
  }

  void write_failed() {
    echo_.flush();
    if (summary_.write_failed) return;
    summary_.write_failed = true;
    tables::_OKNO_(rt_, "Plik " + std::string(name_) + ": blad zapisu wierszy", 0);
  }

  // Rows still buffered by the table are written now, so that a failure is told with the
  // file that caused it; then the messages about the file.
  void finish() {
    if (summary_.rows > 0 && !summary_.write_failed) {
      platform::dbf::Table* jpk = rt_.tables.slot(kJpkSlot);
      if (!jpk || !jpk->commit()) write_failed();
    }
    const std::string file = "Plik " + std::string(name_) + ": ";
    if (summary_.values_cut > 0)
      tables::_OKNO_(rt_, file + "obcieto " + std::to_string(summary_.values_cut) + " wartosci", 3);
    if (summary_.rows == 0 && !summary_.write_failed)
      tables::_OKNO_(rt_, file + "brak wierszy sprzedazy", 3);
  }

  Runtime& rt_;
  std::string_view name_;
  Members members_;
  RowBufferWriter row_;
  Echo echo_;
  bool in_row_ = false;
  ReadSummary summary_;
};

}  // namespace

ReadSummary CZYT_XML_JPK(Runtime& rt, std::string_view file_name) {
  const platform::SavedRect screen = rt.screen.save_all();
  ReadSummary summary = FileReader(rt, file_name).run();
  rt.screen.restore(screen);
  rt.out.new_line({"\f"});
  rt.out.new_line();
  return summary;
}

}  // namespace app
