#include "ui/string_table.h"

#include <cstddef>

#include "ui/format_message.h"

#ifdef _WIN32
#include "platform/win32/primitives.h"
#endif

namespace miradel::ui {

namespace {

struct Entry {
  unsigned id;
  const char* text;
  std::size_t size;  // the literal's bytes, so that nothing depends on a terminator
};

constexpr Entry kTable[] = {
#define MIRADEL_STRING(id, name, text) {id, text, sizeof(text) - 1},
#include "ui/string_texts.inc"
#undef MIRADEL_STRING
};

}  // namespace

const std::vector<unsigned>& StringIds() {
  static const std::vector<unsigned> ids = [] {
    std::vector<unsigned> v;
    for (const Entry& e : kTable) v.push_back(e.id);
    return v;
  }();
  return ids;
}

bool CompiledString(unsigned id, std::string* out) {
  for (const Entry& e : kTable) {
    if (e.id == id) {
      out->assign(e.text, e.size);
      return true;
    }
  }
  return false;
}

std::string LoadString(unsigned id) {
  std::string text;
#ifdef _WIN32
  if (platform::win32::LoadLibraryString(id, &text)) return text;
#endif
  if (CompiledString(id, &text)) return text;
  return std::string();
}

std::string FormatString(const std::string& text, const std::vector<std::string>& inserts) {
  std::string out;
#ifdef _WIN32
  if (SystemCanFormat(text, inserts) && platform::win32::FormatWithSystem(text, inserts, kMaxInserts, &out)) return out;
#endif
  if (FormatMessageText(text, inserts, &out)) return out;
  return text;
}

std::string FormatString(unsigned id, const std::vector<std::string>& inserts) {
  return FormatString(LoadString(id), inserts);
}

}  // namespace miradel::ui
