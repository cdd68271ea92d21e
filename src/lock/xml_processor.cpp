#include "lock/xml_processor.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "platform/env.h"

namespace miradel {

namespace {
bool EqualNoCase(const char* a, const char* b) { return text::EqualsNoCase(a, b); }

// The document keeps its text as UTF-8 and is read and written as Latin-1, which maps every byte to
// one character and back: any single-byte code page passes through unchanged.
std::string BytesToUtf8(const std::string& bytes) {
  std::wstring wide;
  for (unsigned char c : bytes) wide += static_cast<wchar_t>(c);
  return pugi::as_utf8(wide);
}

std::string Utf8ToBytes(const char* utf8) {
  std::string bytes;
  for (wchar_t c : pugi::as_wide(utf8)) bytes += static_cast<char>(c < 256 ? c : '?');
  return bytes;
}

// Element text, cut to fit a 32-byte field with its terminator.
void CopyField(char (&field)[32], pugi::xml_node element) {
  std::string text = Utf8ToBytes(element.text().get());
  std::size_t n = std::strlen(text.c_str());
  if (n > sizeof(field) - 1) n = sizeof(field) - 1;
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

class StringWriter : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string* out) : m_out(out) {}
  void write(const void* data, size_t size) override { m_out->append(static_cast<const char*>(data), size); }

 private:
  std::string* m_out;
};

constexpr unsigned kFormat = pugi::format_raw | pugi::format_no_declaration | pugi::format_attribute_single_quote;
}  // namespace

int ParseBool(const std::string& text, int def) {
  if (EqualNoCase(text.c_str(), "TRUE")) return 1;
  if (EqualNoCase(text.c_str(), "FALSE")) return 0;
  return def;
}

void XMLProcessor::CreateDocument() {
  m_doc.reset();
  m_current = pugi::xml_node();
}

void XMLProcessor::InitDocument(const std::string& rootName) {
  pugi::xml_node decl = m_doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  m_current = m_doc.append_child(rootName.c_str());
}

namespace {
// The file's path, in the current directory when asked; false when that cannot be read.
bool FilePath(const std::string& fileName, bool withCurrentDir, std::string* path) {
  *path = fileName;
  if (!withCurrentDir) return true;
  std::string dir;
  if (!platform::Current().GetCurrentDirectory(&dir).ok()) return false;
  *path = path::WithSeparator(dir) + fileName;
  return true;
}
}  // namespace

bool XMLProcessor::LoadFromFile(const std::string& fileName, bool withCurrentDir) {
  std::string path;
  if (!FilePath(fileName, withCurrentDir, &path)) return false;
  CreateDocument();
  bool ok = m_doc.load_file(path.c_str(), pugi::parse_default | pugi::parse_declaration | pugi::parse_comments);
  m_current = m_doc.document_element();
  return ok;
}

bool XMLProcessor::SaveToFile(const std::string& fileName, bool withCurrentDir) {
  std::string path;
  if (!FilePath(fileName, withCurrentDir, &path)) return false;
  return m_doc.save_file(path.c_str(), "", kFormat);
}

void XMLProcessor::AddComment(const std::string& text) {
  m_current.append_child(pugi::node_comment).set_value(text.c_str());
}

pugi::xml_node XMLProcessor::AddElement(const std::string& name) { return m_current.append_child(name.c_str()); }

pugi::xml_node XMLProcessor::AddTextElement(const std::string& name, const std::string& text) {
  pugi::xml_node element = AddElement(name);
  element.append_child(pugi::node_pcdata).set_value(text.c_str());
  return element;
}

pugi::xml_node XMLProcessor::AddIntElement(const std::string& name, int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", value);
  return AddTextElement(name, buf);
}

pugi::xml_node XMLProcessor::AddBoolElement(const std::string& name, bool value) {
  return AddTextElement(name, value ? "TRUE" : "FALSE");
}

pugi::xml_node XMLProcessor::AddFloatElement(const std::string& name, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", value);
  return AddTextElement(name, buf);
}

bool XMLProcessorNetwork::LoadText(const std::string& text) {
  CreateDocument();
  pugi::xml_parse_result result = m_doc.load_buffer(text.data(), text.size(),
                                                    pugi::parse_default | pugi::parse_comments, pugi::encoding_latin1);
  m_current = m_doc.document_element();
  return static_cast<bool>(result);
}

std::string XMLProcessorNetwork::GetText() const {
  std::string out;
  StringWriter writer(&out);
  m_doc.save(writer, "", kFormat, pugi::encoding_latin1);
  return out;
}

int XMLProcessorNetwork::BuildLockDocument(const std::string& dottedVersion, const std::string& machine,
                                           const std::string& user, bool permanent) {
  CreateDocument();
  InitDocument("Quorvane-Miradel");
  pugi::xml_node root = m_current;
  AddComment("Quorvane Lock File");
  m_current = AddElement("Header");
  AddTextElement("QuorvaneVersion", dottedVersion);
  AddFloatElement("FormatVersion", 1.0);
  m_current = root;
  m_current = AddElement("Lock");
  AddComment("Information of user editing the model");
  AddTextElement("MachineName", BytesToUtf8(machine));
  AddTextElement("UserName", BytesToUtf8(user));
  AddBoolElement("IsPermanent", permanent);
  m_current = root;
  return 1;
}

int XMLProcessorNetwork::ReadLockOwner(LockOwnerInfo& owner) const {
  pugi::xml_node root = m_doc.document_element();
  if (!root || !EqualNoCase(root.name(), "Quorvane-Miradel")) return 0;
  for (pugi::xml_node lock = root.first_child(); lock; lock = lock.next_sibling()) {
    if (lock.type() != pugi::node_element || !EqualNoCase(lock.name(), "Lock")) continue;
    for (pugi::xml_node child = lock.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      if (EqualNoCase(child.name(), "MachineName")) {
        CopyField(owner.szMachineName, child);
      } else if (EqualNoCase(child.name(), "UserName")) {
        CopyField(owner.szUserName, child);
      } else if (EqualNoCase(child.name(), "IsPermanent")) {
        owner.bIsPermanent = ParseBool(child.text().get(), 0) ? 1 : 0;
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace miradel
