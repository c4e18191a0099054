// ERR.LOG indexed by serial, for the history window's log pane. The log grows without end (it
// is never truncated) and may hold anything (a crash can leave megabytes of NUL bytes), so the
// pane must not read it whole: the index keeps the offset of every line that files the lines
// after it under a serial (a translator's start line, a run's fault line), and grows with the
// log by reading only what was appended since. The lines of one serial are read from its
// sections alone, each line cut to a length and the whole to a number of lines.
//
// Not thread-safe: one thread at a time (the window's log reader) uses an index.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace edi::run {

class ErrLogIndex {
 public:
  explicit ErrLogIndex(std::filesystem::path file) : file_(std::move(file)) {}

  // Takes in what was appended to the log since the last call; the whole log when it was
  // replaced or became shorter. A missing or unreadable log leaves the index empty.
  void Update();

  struct Limits {
    std::size_t maxLines = 2000;           // lines returned at most (the rest is left out)
    std::size_t maxLineBytes = 1000;       // bytes of one line kept (the rest is counted)
    std::uint64_t maxBytesRead = 64u << 20;  // bytes read for one serial at most
  };
  struct Lines {
    std::vector<std::string> lines;  // UTF-8, without line ends; control bytes shown as "?"
    bool cut = false;                // lines were left out (a limit was reached)
  };
  // The lines of every section of the serial (from each of its start or fault lines to the
  // next such line of any serial), in log order. A line longer than maxLineBytes ends in
  // " …(N バイト)" with its whole length.
  Lines LinesOf(long long serial, const Limits& limits) const;

  std::size_t sections() const { return offsets_.size(); }
  std::uint64_t indexedBytes() const { return indexed_; }

 private:
  void Add(std::uint64_t offset, std::string_view line);

  std::filesystem::path file_;
  // Per section its first byte and its serial (-1: a number no run has), in two arrays: 12
  // bytes a section, for logs of millions of runs.
  std::vector<std::uint64_t> offsets_;
  std::vector<std::int32_t> serials_;
  std::uint64_t indexed_ = 0;  // bytes taken in: up to the end of the last complete line
  std::uint64_t inode_ = 0;
};

}  // namespace edi::run
