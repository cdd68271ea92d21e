// The lock file's XML document: built when the version is set, read back when a lock is inspected.
#pragma once

#include <string>

#include <pugixml.hpp>

#include "lock/lock_owner_info.h"

namespace miradel {

// "TRUE" gives 1 and "FALSE" 0, both without regard to case; anything else gives def.
int ParseBool(const std::string& text, int def);

class XMLProcessor {
 public:
  XMLProcessor() = default;
  virtual ~XMLProcessor() = default;
  XMLProcessor(const XMLProcessor&) = delete;
  XMLProcessor& operator=(const XMLProcessor&) = delete;

  // Declaration and root element; the root becomes the current element.
  virtual void InitDocument(const std::string& rootName);
  // withCurrentDir: the name is relative to the process's current directory.
  virtual bool LoadFromFile(const std::string& fileName, bool withCurrentDir);
  virtual bool SaveToFile(const std::string& fileName, bool withCurrentDir);
  virtual void CreateDocument();
  virtual void AddComment(const std::string& text);
  // The new element is returned; the current element stays.
  virtual pugi::xml_node AddElement(const std::string& name);
  virtual pugi::xml_node AddTextElement(const std::string& name, const std::string& text);
  virtual pugi::xml_node AddIntElement(const std::string& name, int value);
  virtual pugi::xml_node AddBoolElement(const std::string& name, bool value);
  virtual pugi::xml_node AddFloatElement(const std::string& name, double value);

  void SetCurrent(pugi::xml_node node) { m_current = node; }
  pugi::xml_node Current() const { return m_current; }
  pugi::xml_node Root() const { return m_doc.document_element(); }

 protected:
  pugi::xml_document m_doc;
  pugi::xml_node m_current;
};

class XMLProcessorNetwork : public XMLProcessor {
 public:
  ~XMLProcessorNetwork() override = default;

  // Parses text into a new document. Whatever parses before a fault stays in the tree, so that a
  // lock file with trailing junk or cut short still names its holder where it can. Returns whether
  // the whole text parsed.
  bool LoadText(const std::string& text);
  // The document as text, on one line, without white space between elements.
  std::string GetText() const;
  // Names are the platform's single-byte text in any code page: they go into the document byte for
  // byte, and ReadLockOwner gives them back the same way.
  int BuildLockDocument(const std::string& dottedVersion, const std::string& machine, const std::string& user,
                        bool permanent);
  // Fills owner from the document; 1 when an IsPermanent element was met.
  int ReadLockOwner(LockOwnerInfo& owner) const;
};

}  // namespace miradel
