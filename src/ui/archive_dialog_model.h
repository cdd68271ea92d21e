// The check boxes of the archive dialog: five file types and "Select All" over them.
#pragma once

namespace miradel::ui {

class ArchiveDialogModel {
 public:
  enum Type { kInput, kResult, kReports, kUnit, kLibraries, kTypeCount };

  // The start state: "Select All" ticked, and with it all five.
  ArchiveDialogModel();
  // The boxes as given; "Select All" ticked when all five are.
  explicit ArchiveDialogModel(const bool types[kTypeCount]);

  // "Select All" clicked into state ticked: all five follow it.
  void ClickSelectAll(bool ticked);
  // Type box i clicked into state ticked. A box cleared while "Select All" is ticked clears it;
  // ticking the last box does not tick it again. An i out of range changes nothing.
  void ClickType(int i, bool ticked);

  bool select_all() const { return m_selectAll; }
  bool type(int i) const { return i >= 0 && i < kTypeCount && m_types[i]; }
  void Types(bool out[kTypeCount]) const;

 private:
  bool m_selectAll = true;
  bool m_types[kTypeCount] = {true, true, true, true, true};
};

}  // namespace miradel::ui
