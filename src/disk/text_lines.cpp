#include "disk/text_lines.h"

namespace miradel {

bool TextLines::Next(std::string* line) {
  line->clear();
  bool any = false, carriageReturn = false;
  char c;
  while (m_in.Next(&c)) {
    any = true;
    if (c == '\n') return true;
    // Held back until the next byte shows whether it ends the line.
    if (carriageReturn && line->size() < kKept) line->push_back('\r');
    carriageReturn = c == '\r';
    if (!carriageReturn && line->size() < kKept) line->push_back(c);
  }
  if (carriageReturn && line->size() < kKept) line->push_back('\r');
  return any && !m_in.failed();
}

}  // namespace miradel
