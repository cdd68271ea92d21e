#include "disk/text_lines.h"

namespace miradel {

bool TextLines::NextByte(char* c) {
  if (pos_ == bytes_.size()) {
    if (env_ == nullptr || ended_) return false;
    std::size_t got = 0;
    if (!env_->Read(file_, buffer_, sizeof buffer_, &got).ok()) failed_ = true;
    if (failed_ || got == 0) {
      ended_ = true;
      return false;
    }
    bytes_ = std::string_view(buffer_, got);
    pos_ = 0;
  }
  *c = bytes_[pos_++];
  return true;
}

bool TextLines::Next(std::string* line) {
  line->clear();
  bool any = false, carriageReturn = false;
  char c;
  while (NextByte(&c)) {
    any = true;
    if (c == '\n') return true;
    // Held back until the next byte shows whether it ends the line.
    if (carriageReturn && line->size() < kKept) line->push_back('\r');
    carriageReturn = c == '\r';
    if (!carriageReturn && line->size() < kKept) line->push_back(c);
  }
  if (carriageReturn && line->size() < kKept) line->push_back('\r');
  return any && !failed_;
}

platform::FileHandle OpenForReading(const std::string& path) {
  platform::FileHandle h = platform::kNoFile;
  if (path.empty() || !platform::Current()
                           .OpenFile(path, platform::kRead, platform::kShareRead | platform::kShareWrite,
                                     platform::Disposition::kOpenExisting, &h, nullptr)
                           .ok())
    return platform::kNoFile;
  return h;
}

}  // namespace miradel
