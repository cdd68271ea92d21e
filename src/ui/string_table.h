// The library's numbered texts and the filling of their "%1".."%99" inserts.
//
// One list (string_texts.inc) makes both the compiled-in table and the DLL's STRINGTABLE resource.
// On Windows a text comes from the resources of the library's module when that is known, so that a
// translated resource could replace it; everywhere else, and for ids the resources lack, from the
// compiled-in table.
#pragma once

#include <string>
#include <vector>

// windows.h maps LoadString to LoadStringA; ours must keep its name in every translation unit.
#ifdef _WIN32
#undef LoadString
#endif

namespace miradel::ui {

enum StringId : unsigned {
#define MIRADEL_STRING(id, name, text) name = id,
#include "ui/string_texts.inc"
#undef MIRADEL_STRING
};

// Every id of the list, in its order.
const std::vector<unsigned>& StringIds();
// The compiled-in text of id; false (out untouched) for an id the list lacks.
bool CompiledString(unsigned id, std::string* out);
// The text of id (see above); empty for an unknown id.
std::string LoadString(unsigned id);

// Fills the inserts of a message text the way the platform's message formatter does (on Windows it
// is the system's FormatMessageA; elsewhere FormatMessageText of format_message.h, which behaves
// the same). Among other things a line break in the text comes out as "\r\n". A text that cannot be
// formatted (a lone '%' at its end, say) is returned as it is.
std::string FormatString(const std::string& text, const std::vector<std::string>& inserts);
std::string FormatString(unsigned id, const std::vector<std::string>& inserts);

template <typename... Inserts>
std::string FormatString(const std::string& text, const Inserts&... inserts) {
  return FormatString(text, std::vector<std::string>{std::string(inserts)...});
}
template <typename... Inserts>
std::string FormatString(unsigned id, const Inserts&... inserts) {
  return FormatString(LoadString(id), std::vector<std::string>{std::string(inserts)...});
}

}  // namespace miradel::ui
